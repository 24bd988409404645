#!/usr/bin/env python3
"""A second, independent implementation of the grid conversion.

It exists only to be compared with vireo-migrate over generated projects
(see cross_check.py), so it favours following the rules step by step over
speed or convenience. Files are handled as bytes; text is Latin-1 so every
byte survives a round trip, and "ignoring case" only ever folds the ASCII
letters A-Z.

Command line (the subset that cross_check.py needs):

    vb_convert.py convert --from F --to T PROJECT

Exit status as vireo-migrate: 0 converted, 3 nothing needed conversion,
1 a file failed (nothing changed), 2 unreadable project or bad arguments.
"""

import os
import struct
import sys

MARKER = "'*** ORYX Migration Utility Code Change ***"
CRLF = "\r\n"

# ---------------------------------------------------------------------------
# Case folding and searching (ASCII letters only)

_FOLD = {c: c + 32 for c in range(ord("A"), ord("Z") + 1)}


def fold(text):
    return text.translate(_FOLD)


def find_ci(hay, needle, start=0):
    """0-based index of the first case-insensitive occurrence, or -1."""
    return fold(hay).find(fold(needle), start)


def contains_ci(hay, needle):
    return find_ci(hay, needle) >= 0


def replace_first_ci(line, old, new):
    p = find_ci(line, old)
    if p < 0:
        return line
    return line[:p] + new + line[p + len(old):]


# ---------------------------------------------------------------------------
# Catalogue and GUIDs


class Guid:
    def __init__(self, name, data1, data2, data3, tail):
        self.name = name
        self.data1 = data1
        self.data2 = data2
        self.data3 = data3
        self.tail = bytes(tail)

    def to_bytes(self):
        return (struct.pack("<IHH", self.data1 & 0xFFFFFFFF, self.data2 & 0xFFFF,
                            self.data3 & 0xFFFF) + self.tail)

    def to_string(self):
        t = self.tail
        return "%08X-%04X-%04X-%02X%02X-%s" % (
            self.data1 & 0xFFFFFFFF, self.data2 & 0xFFFF, self.data3 & 0xFFFF,
            t[0], t[1], "".join("%02X" % b for b in t[2:]))


class GridVersion:
    def __init__(self, full_name, short_name, ocx_name, version, libid):
        self.full_name = full_name
        self.short_name = short_name
        self.ocx_name = ocx_name
        self.version = version
        self.libid = libid
        self.guids = []  # in table order

    @property
    def ocx_file_name(self):
        return self.ocx_name + "32.OCX"

    @property
    def grid_lib_name(self):
        return self.full_name[:self.full_name.index(".")]

    def guid(self, name):
        for g in self.guids:
            if g.name == name:
                return g
        return None


GUID_NAMES = [
    "CLSID_MsPlover", "LIBID_MsPlover", "IID_DPlColumns", "IID_DPlColumn",
    "IID_DVrSplits", "IID_DVrSplit", "IID_DVrValueList", "IID_DVrValueItem",
    "CLSID_VrValueItem", "IID_DVrStyles", "IID_DVrStyle", "CLSID_VrStyle",
    "CLSID_VireoDrop",
]

# Data1 of every GUID, one column per catalogue row; None = row lacks it.
_DATA1 = [
    (0x7D4E5B13, 0x7D4E5B33, 0x7D4E5B63, 0x3F6A9061, 0x7D4E5B22, 0x3F6A907A),
    (0x7D4E5B14, 0x7D4E5B34, 0x7D4E5B64, 0x3F6A9062, 0x7D4E5B23, 0x3F6A907B),
    (0x7D4E5B19, 0x7D4E5B39, 0x7D4E5B69, 0x3F6A9067, 0x7D4E5B28, 0x3F6A9080),
    (0x7D4E5B1A, 0x7D4E5B3A, 0x7D4E5B6A, 0x3F6A9068, 0x7D4E5B29, 0x3F6A9081),
    (0x7D4E5B1C, 0x7D4E5B3B, 0x7D4E5B6F, 0x3F6A9069, 0x7D4E5B2A, 0x3F6A9082),
    (0x7D4E5B1F, 0x7D4E5B3C, 0x7D4E5B70, 0x3F6A906A, 0x7D4E5B2B, 0x3F6A9083),
    (None, 0x7D4E5B3F, None, 0x3F6A906D, 0x7D4E5B2E, 0x3F6A9086),
    (None, 0x7D4E5B40, None, 0x3F6A906E, 0x7D4E5B2F, 0x3F6A9087),
    (None, 0x7D4E5B41, None, 0x3F6A906F, 0x7D4E5B30, 0x3F6A9088),
    (None, 0x7D4E5B42, None, 0x3F6A9070, 0x7D4E5B31, 0x3F6A9089),
    (None, 0x7D4E5B43, None, 0x3F6A9071, 0x7D4E5B32, 0x3F6A908A),
    (None, 0x7D4E5B49, None, 0x3F6A9076, 0x7D4E5B51, 0x3F6A908F),
    (None, 0x7D4E5BE3, None, None, 0x7D4E5B55, 0x3F6A9093),
]

_TAIL_A = (0x1A2C, 0x11CF, bytes([0x8E, 0x41, 0x00, 0x80, 0x5F, 0x2C, 0x6A, 0x19]))
_TAIL_B = (0x5C17, 0x11D0, bytes([0xA3, 0xB8, 0x00, 0x60, 0x97, 0x4E, 0x21, 0xD5]))


def _fill_catalogue():
    rows = [
        GridVersion("MSPlover.Plover", "Plover", "PLOVER", "#1.0#0",
                    "7D4E5B14-1A2C-11CF-8E41-00805F2C6A19"),
        GridVersion("VireoCore.VireoCtl", "VireoCtl", "VIRA", "#4.0#0",
                    "7D4E5B34-1A2C-11CF-8E41-00805F2C6A19"),
        GridVersion("VireoCoreStd.VireoCtlS", "VireoCtlS", "VIRAS", "#1.0#0",
                    "7D4E5B64-1A2C-11CF-8E41-00805F2C6A19"),
        GridVersion("VireoCore.VireoCtl", "VireoCtl", "EVIRA", "#4.0#0",
                    "3F6A9062-5C17-11D0-A3B8-0060974E21D5"),
        GridVersion("VireoCore45.VireoCtl", "VireoCtl", "VIRA5_", "#4.5#0",
                    "7D4E5B23-1A2C-11CF-8E41-00805F2C6A19"),
        GridVersion("VireoCore45.VireoCtl", "VireoCtl", "EVIR5_", "#4.5#0",
                    "3F6A907B-5C17-11D0-A3B8-0060974E21D5"),
    ]
    for col, row in enumerate(rows):
        d2, d3, tail = _TAIL_B if col in (3, 5) else _TAIL_A
        for name, data1s in zip(GUID_NAMES, _DATA1):
            if data1s[col] is not None:
                row.guids.append(Guid(name, data1s[col], d2, d3, tail))
    return rows


CATALOGUE = _fill_catalogue()


def row(position):
    """Catalogue row by 1-based position."""
    if not 1 <= position <= len(CATALOGUE):
        raise ValueError("no grid type %r" % position)
    return CATALOGUE[position - 1]


def object_line_for(position):
    r = row(position)
    return "Object={" + r.libid + "}" + r.version + "; " + r.ocx_file_name


def is_object_line_for(line, position):
    return (fold(line[:8]) == fold("Object={")
            and fold(line[8:44]) == fold(row(position).libid))


# ---------------------------------------------------------------------------
# Physical and logical lines


def split_lines(data):
    """Physical lines of a file's bytes: CR LF, CR or LF end a line; a last
    line without terminator is a line; an empty file has none."""
    text = data.decode("latin-1")
    lines = []
    i = 0
    start = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c == "\r":
            lines.append(text[start:i])
            i += 2 if i + 1 < n and text[i + 1] == "\n" else 1
            start = i
        elif c == "\n":
            lines.append(text[start:i])
            i += 1
            start = i
        else:
            i += 1
    if start < n:
        lines.append(text[start:])
    return lines


def join_lines(lines):
    return "".join(l + CRLF for l in lines).encode("latin-1")


class ConversionError(Exception):
    pass


class LineReader:
    def __init__(self, data):
        self.lines = split_lines(data)
        self.pos = 0

    def eof(self):
        return self.pos >= len(self.lines)

    def read(self):
        if self.eof():
            raise ConversionError("read past the end of the file")
        line = self.lines[self.pos]
        self.pos += 1
        return line


def read_logical_line(reader):
    """Returns (logical line, its physical lines)."""
    line = reader.read()
    raw = [line]
    if line[:1] == "'" or line[:3] == "Rem":
        return line, raw
    while line.rstrip(" ")[-1:] == "_":
        nxt = reader.read()
        raw.append(nxt)
        line = line.rstrip(" ")[:-1].rstrip(" ")
        line = line + " " + nxt.lstrip(" ")
    return line, raw


# ---------------------------------------------------------------------------
# Code rules

GRID_EVENT_NAMES = ["_FetchCellStyle", "_UnboundReadData", "_UnboundReadDateEx",
                    "_UnboundAddData", "_UnboundWriteData", "_FirstRowChange",
                    "_LeftColChange"]
DROPDOWN_EVENT_NAMES = GRID_EVENT_NAMES[:5]


def is_comment(line):
    t = line.lstrip(" ")
    return t[:1] == "'" or t[:3] == "Rem"


def is_grid_event_procedure(line, grid_names, dropdown_names):
    if is_comment(line):
        return False
    for name in grid_names:
        for suffix in GRID_EVENT_NAMES:
            if contains_ci(line, "Sub " + name + suffix):
                return True
    for name in dropdown_names:
        for suffix in DROPDOWN_EVENT_NAMES:
            if contains_ci(line, "Sub " + name + suffix):
                return True
    return False


def rewrite_event_line(line, from_type, to_type, grid_names):
    """Returns (new line, changed)."""
    src = row(from_type).grid_lib_name
    dst = row(to_type).grid_lib_name
    groups = [
        ("_FetchCellStyle", [("As Object", "As " + dst + ".StyleDisp"),
                             ("As StyleDisp", "As " + dst + ".StyleDisp"),
                             ("As " + src + ".StyleDisp", "As " + dst + ".StyleDisp")]),
        ("_Unbound", [("As RowBuffer", "As " + dst + ".RowBuffer"),
                      ("As " + src + ".RowBuffer", "As " + dst + ".RowBuffer")]),
        ("_LeftColChange()", None),
        ("_FirstRowChange()", None),
    ]
    for condition, subrules in groups:
        if not contains_ci(line, condition):
            continue
        if condition == "_LeftColChange()":
            old, new = condition, "_LeftColChange(ByVal SplitIndex as Integer)"
        elif condition == "_FirstRowChange()":
            guard = ""
            for name in grid_names:
                if contains_ci(line, name):
                    guard = "If SplitIndex <> " + name + ".Split Then Exit Sub"
            old = condition
            new = "_FirstRowChange(ByVal SplitIndex as Integer)" + CRLF + guard
        else:
            for old, new in subrules:
                if contains_ci(line, old):
                    break
            else:
                return line, False
        return replace_first_ci(line, old, new), True
    return line, False


def rewrite_declarations(line, from_type, to_type):
    """Moves every "As src." and then every "As New src." to the target
    library, left to right, never looking at inserted text again.
    Returns (new line, whether any declaration was found)."""
    if is_comment(line):
        return line, False
    src = row(from_type).grid_lib_name
    dst = row(to_type).grid_lib_name
    found = False
    for prefix in ("As ", "As New "):
        old = prefix + src + "."
        new = prefix + dst + "."
        out = []
        rest = line
        while True:
            p = find_ci(rest, old)
            if p < 0:
                break
            found = True
            out.append(rest[:p] + new)
            rest = rest[p + len(old):]
        line = "".join(out) + rest
    return line, found


# ---------------------------------------------------------------------------
# Code modules and classes


def convert_code_file(data, from_type, to_type):
    """Returns (result, converted bytes or None)."""
    try:
        reader = LineReader(data)
        out = []
        changed = False
        while not reader.eof():
            line, raw = read_logical_line(reader)
            new, found = rewrite_declarations(line, from_type, to_type)
            if found:
                changed = True
                out.append(MARKER)
                out.extend("'" + r for r in raw)
                out.append(new)
            else:
                out.extend(raw)
        return (1 if changed else 0), join_lines(out)
    except ConversionError:
        return -1, None


# ---------------------------------------------------------------------------
# Binary property data


def frx_offset(text):
    """Offset of a record from an OleObjectBlob line; raises on a bad one."""
    if ":" not in text:
        return 0
    digits = text[text.rindex(":") + 1:].strip(" ")
    if not 1 <= len(digits) <= 8 or any(c not in "0123456789abcdefABCDEF" for c in digits):
        raise ConversionError("bad offset %r" % digits)
    value = int(digits, 16)
    if value >= 2 ** 31:
        raise ConversionError("offset %r out of range" % digits)
    return value


def convert_ole_object_blob(frx, offset, from_type, to_type):
    """Patches the record at offset inside the bytearray frx. Returns 1, 0 or
    -1; on -1 frx is left as it was."""
    size = len(frx)
    if offset < 0 or offset + 6 > size:
        return -1
    h = struct.unpack_from("<h", frx, offset)[0]
    n = struct.unpack_from("<i", frx, offset + 2)[0]
    if h < 6 or n < 1 or offset + h + n > size:
        return -1
    payload = bytearray(frx[offset + h:offset + h + n])
    src, dst = row(from_type), row(to_type)
    changed = False
    for s in src.guids:
        pattern = s.to_bytes()
        p = 0
        while True:
            at = payload.find(pattern, p)
            if at < 0:
                break
            t = dst.guid(s.name)
            if t is None:
                return -1
            payload[at:at + 16] = t.to_bytes()
            changed = True
            p = at + 16
    frx[offset + h:offset + h + n] = payload
    return 1 if changed else 0


# ---------------------------------------------------------------------------
# Forms


def record_control_name(line, from_type, grid_names, dropdown_names):
    src = row(from_type)
    t = line.strip(" ")
    p1 = t.find(" ") + 1            # 1-based, 0 when absent
    p2 = t.find(" ", p1) + 1        # searched from position p1 + 1
    name = t[p2:]
    if contains_ci(line, src.full_name):
        grid_names.append(name)
    elif contains_ci(line, src.grid_lib_name + ".VireoDropDown"):
        dropdown_names.append(name)


def is_grid_begin_line(line, from_type, grid_names, dropdown_names):
    if not contains_ci(line, "Begin"):
        return False
    src = row(from_type)
    if (contains_ci(line, src.full_name)
            or contains_ci(line, src.grid_lib_name + ".VireoDropDown")):
        record_control_name(line, from_type, grid_names, dropdown_names)
        return True
    return False


def rename_begin_line(line, from_type, to_type):
    src, dst = row(from_type), row(to_type)
    if contains_ci(line, src.full_name):
        old, new = src.full_name, dst.full_name
    elif contains_ci(line, src.grid_lib_name + ".VireoDropDown"):
        old = src.grid_lib_name + ".VireoDropDown"
        new = dst.grid_lib_name + ".VireoDropDown"
    else:
        return line
    return replace_first_ci(line, old, new)


def convert_form_file(frm, frx, from_type, to_type):
    """Returns (result, converted form bytes, converted frx bytes); the two
    byte strings are None on failure."""
    grid_names = []
    dropdown_names = []
    blob = bytearray(frx)
    try:
        reader = LineReader(frm)
        out = []
        in_code = False
        changed = False
        while not reader.eof():
            line, raw = read_logical_line(reader)
            write_joined = False
            if not in_code:
                if fold(line) == "end":
                    in_code = True
                elif is_grid_begin_line(line, from_type, grid_names, dropdown_names):
                    line = rename_begin_line(line, from_type, to_type)
                    changed = True
                    out.append(line)
                    ended = False
                    while not reader.eof():
                        line, raw = read_logical_line(reader)
                        if fold(line[-6:]) == "   end":
                            ended = True
                            break
                        if contains_ci(line, "OleObjectBlob"):
                            offset = frx_offset(line)
                            if convert_ole_object_blob(blob, offset, from_type, to_type) == -1:
                                raise ConversionError("bad record")
                        out.append(line)
                    if not ended:
                        # The input ended inside the block: every line read
                        # has been written once already.
                        continue
                    write_joined = True
            else:
                if is_grid_event_procedure(line, grid_names, dropdown_names):
                    line, ev_changed = rewrite_event_line(line, from_type, to_type, grid_names)
                    if ev_changed:
                        changed = True
                        out.append(MARKER)
                        out.extend("'" + r for r in raw)
                        write_joined = True
                else:
                    line, found = rewrite_declarations(line, from_type, to_type)
                    if found:
                        changed = True
                        out.append(MARKER)
                        out.extend("'" + r for r in raw)
                        write_joined = True
            if write_joined:
                out.append(line)
            else:
                out.extend(raw)
        return (1 if changed else 0), join_lines(out), bytes(blob)
    except ConversionError:
        return -1, None, None


# ---------------------------------------------------------------------------
# Project file


def scan_project_file(data):
    """Returns (form texts, module/class texts) as listed, in file order."""
    forms, modules = [], []
    for line in split_lines(data):
        if fold(line[:5]) == "form=":
            forms.append(line[5:].strip(" "))
        elif fold(line[:7]) == "module=" or fold(line[:6]) == "class=":
            p = line.find(";")
            modules.append(line[p + 1:].strip(" "))
    return forms, modules


def rewrite_project_file(data, from_type, to_type):
    out = []
    replaced = False
    for line in split_lines(data):
        if is_object_line_for(line, to_type):
            continue
        if is_object_line_for(line, from_type) and not replaced:
            out.append(object_line_for(to_type))
            replaced = True
        else:
            out.append(line)
    return (1 if replaced else 0), join_lines(out)


# ---------------------------------------------------------------------------
# Whole project on disk


def resolve(directory, listed):
    """A path listed in the project file: backslashes become "/"; a path not
    found as written is looked up ignoring case folder by folder. Returns a
    path (possibly naming nothing)."""
    text = listed.replace("\\", "/")
    path = os.path.join(directory, text)
    if os.path.exists(path):
        return path
    current = directory if not text.startswith("/") else "/"
    for part in [p for p in text.split("/") if p != ""]:
        candidate = os.path.join(current, part)
        if not os.path.exists(candidate) and os.path.isdir(current) and part not in (".", ".."):
            matches = sorted(e for e in os.listdir(current) if fold(e) == fold(part))
            if matches:
                candidate = os.path.join(current, matches[0])
        current = candidate
    return current


def frx_beside(form_path):
    folder, name = os.path.split(form_path)
    base = name[:name.rfind(".")] if "." in name else name
    wanted = fold(base + ".frx")
    if not os.path.isdir(folder):
        return None
    for entry in sorted(os.listdir(folder)):
        if fold(entry) == wanted and os.path.isfile(os.path.join(folder, entry)):
            return os.path.join(folder, entry)
    return None


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def convert_project(project_path, from_type, to_type, log=None):
    """Converts the project on disk. Returns the exit status."""
    def say(msg):
        if log is not None:
            log(msg)

    if from_type == to_type:
        say("--from and --to name the same grid type")
        return 2
    try:
        project = read_bytes(project_path)
    except OSError as e:
        say("cannot read the project: %s" % e)
        return 2
    if b"\0" in project:
        say("the project file holds a NUL byte")
        return 2
    directory = os.path.dirname(os.path.abspath(project_path))
    form_texts, module_texts = scan_project_file(project)

    # Forms first (those with a .frx beside them), then modules and classes.
    jobs = []
    for text in form_texts:
        # Only a form with a .frx beside it is converted; a listed form
        # that is missing altogether has none and is passed over.
        path = resolve(directory, text)
        jobs.append(("form", path, frx_beside(path)))
    for text in module_texts:
        jobs.append(("code", resolve(directory, text), None))

    # Forms that name a .frx they lack make the project unreadable, and so do
    # a form that is a folder and a missing form whose .frx is there; text
    # files that are converted and hold a NUL byte fail. A form without a
    # .frx is never converted, so its bytes are not judged.
    for kind, path, frx_path in jobs:
        if kind == "form" and (os.path.isdir(path) or
                               (frx_path is not None and not os.path.exists(path))):
            say("%s: the listed form is a folder or lost" % path)
            return 2
        if kind != "form" or frx_path is not None or not os.path.isfile(path):
            continue
        if b'.frx":' in fold(read_bytes(path).decode("latin-1")).encode("latin-1"):
            say("%s: its .frx is missing" % path)
            return 2
    for kind, path, frx_path in jobs:
        if not os.path.isfile(path) or (kind == "form" and frx_path is None):
            continue
        if b"\0" in read_bytes(path):
            say("%s holds a NUL byte" % path)
            return 1

    new_contents = []  # (path, bytes, "text" or "binary")
    changed = False
    for kind, path, frx_path in jobs:
        if kind == "form":
            if frx_path is None:
                continue
            try:
                frm, frx = read_bytes(path), read_bytes(frx_path)
            except OSError:
                return 1
            result, frm_out, frx_out = convert_form_file(frm, frx, from_type, to_type)
            if result == -1:
                say("Error converting file: " + path)
                return 1
            new_contents.append((path, frm_out, "text"))
            new_contents.append((frx_path, frx_out, "binary"))
        else:
            if not os.path.isfile(path):
                say("Error converting file: " + path)
                return 1
            result, out = convert_code_file(read_bytes(path), from_type, to_type)
            if result == -1:
                say("Error converting file: " + path)
                return 1
            new_contents.append((path, out, "text"))
        if result == 1:
            changed = True

    if not changed:
        return 3
    _, out = rewrite_project_file(project, from_type, to_type)
    new_contents.append((project_path, out, "text"))

    # A text file whose lines are all as they were keeps its bytes, line ends
    # included; a binary file is written when a byte differs.
    for path, data, kind in new_contents:
        old = read_bytes(path)
        same = split_lines(old) == split_lines(data) if kind == "text" else old == data
        if not same:
            with open(path, "wb") as f:
                f.write(data)
    return 0


def main(argv):
    args = argv[1:]
    if not args or args[0] != "convert":
        print(__doc__, file=sys.stderr)
        return 2
    args = args[1:]
    from_type = to_type = None
    project = None
    quiet = False
    i = 0
    while i < len(args):
        a = args[i]
        if a == "--from" and i + 1 < len(args):
            from_type = int(args[i + 1])
            i += 2
        elif a == "--to" and i + 1 < len(args):
            to_type = int(args[i + 1])
            i += 2
        elif a == "--quiet":
            quiet = True
            i += 1
        elif project is None and not a.startswith("--"):
            project = a
            i += 1
        else:
            print("unknown argument %r" % a, file=sys.stderr)
            return 2
    if from_type is None or to_type is None or project is None:
        print("convert needs --from, --to and a project file", file=sys.stderr)
        return 2
    if not (1 <= from_type <= 6 and 1 <= to_type <= 6):
        return 2
    log = None if quiet else (lambda m: print(m, file=sys.stderr))
    return convert_project(project, from_type, to_type, log)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
