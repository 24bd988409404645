#!/usr/bin/env python3
"""A second, independent implementation of the grid conversion.

It exists only to be compared with vireo-migrate over generated projects
(see cross_check.py), so it favours following the rules step by step over
speed or convenience. Files are handled as bytes; text is Latin-1 so every
byte survives a round trip, and "ignoring case" only ever folds the ASCII
letters A-Z.

Paths listed in a project file are bytes in the machine's ANSI code page
(Windows-1252 unless --codepage says otherwise); they are looked up as bytes
and, failing that, under their UTF-8 spelling (see find_entry).

Command line (the subset that cross_check.py needs):

    vb_convert.py convert [--from F] --to T [--codepage N] PROJECT

Without --from, the source type is the one library other than the target
that the project file references; a project that references the target and
no other has been converted already (exit status 3), and one that references
none or several others cannot be told (exit status 2).

Exit status as vireo-migrate: 0 converted, 3 nothing needed conversion,
1 a file failed (nothing changed), 2 unreadable project or bad arguments,
or a source the project does not use (see convert_project).
"""

import codecs
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


# A VB5/VB6 form names each control library above its first Begin line, in
# a spelling of its own: Object = "{LIBID}#4.0#0"; "VIRA32.OCX".
FORM_OBJECT_PREFIX = 'Object = "{'


def form_object_line_for(position):
    r = row(position)
    return FORM_OBJECT_PREFIX + r.libid + "}" + r.version + '"; "' + r.ocx_file_name + '"'


def is_form_object_line_for(line, position):
    return (fold(line[:11]) == fold(FORM_OBJECT_PREFIX)
            and fold(line[11:47]) == fold(row(position).libid)
            and line[47:48] == "}")


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
            new, _ = rewrite_declarations(line, from_type, to_type)
            if new != line:
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


LB_HEADER = 24  # "LB", u16 kind, u32 N, four i32 extents


def record_header(frx, offset):
    """(H, N) of the record at offset, or None when its fixed fields do not
    fit in the file. A record starting with the bytes "LB" is the layout
    VB5 and VB6 save for ActiveX controls: N at offset + 4, the payload at
    offset + 24; any other has H at offset and N at offset + 2."""
    size = len(frx)
    if offset < 0:
        return None
    if bytes(frx[offset:offset + 2]) == b"LB":
        if offset + 8 > size:
            return None
        return LB_HEADER, struct.unpack_from("<I", frx, offset + 4)[0]
    if offset + 6 > size:
        return None
    return struct.unpack_from("<h", frx, offset)[0], struct.unpack_from("<i", frx, offset + 2)[0]


def convert_ole_object_blob(frx, offset, from_type, to_type):
    """Patches the record at offset inside the bytearray frx. Returns 1, 0 or
    -1; on -1 frx is left as it was."""
    size = len(frx)
    header = record_header(frx, offset)
    if header is None:
        return -1
    h, n = header
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


def header_plan(frm, from_type, to_type):
    """What becomes of the form's library reference lines: logical line
    index -> new text, or None for a line that goes. Only the lines before
    the first one that begins with "Begin" (leading blanks aside) are looked
    at, and nothing changes unless one of them names the source row: then
    the first such line names the target row and every target line goes."""
    reader = LineReader(frm)
    sources, targets = [], []
    index = 0
    try:
        while not reader.eof():
            line, _ = read_logical_line(reader)
            if fold(line.lstrip(" "))[:5] == "begin":
                break
            if is_form_object_line_for(line, from_type):
                sources.append(index)
            elif is_form_object_line_for(line, to_type):
                targets.append(index)
            index += 1
    except ConversionError:
        pass  # the conversion proper fails at the same line
    if not sources:
        return {}
    plan = dict.fromkeys(targets)
    plan[sources[0]] = form_object_line_for(to_type)
    return plan


def _is_word_char(c):
    return c.isascii() and (c.isalnum() or c == "_")


def declares_type_of(line, library):
    """"As <library>." or "New <library>.", the library a whole word, the
    keyword before it after at least one space."""
    qualified = library + "."
    at = find_ci(line, qualified)
    while at >= 0:
        if at > 0 and not _is_word_char(line[at - 1]):
            before = line[:at].rstrip(" ")
            if len(before) < at:
                start = len(before)
                while start > 0 and _is_word_char(before[start - 1]):
                    start -= 1
                if fold(before[start:]) in ("as", "new"):
                    return True
        at = find_ci(line, qualified, at + 1)
    return False


def uses_target(data, from_type, to_type):
    """Whether a form or code file already speaks of the target: a project
    style reference line to it, a Begin line of its grid (when the source's
    grid is named otherwise), or a declaration of its library (when the
    source's library is named otherwise); comment lines aside. Such a file
    was converted by a project sharing it, and this project's own reference
    still has to move."""
    src, dst = row(from_type), row(to_type)
    for line in split_lines(data):
        text = line.lstrip(" ")
        if text[:1] in ("", "'"):
            continue
        if is_object_line_for(text, to_type):
            return True
        if (fold(src.full_name) != fold(dst.full_name)
                and fold(text).startswith(fold("Begin " + dst.full_name + " "))):
            return True
        if (fold(src.grid_lib_name) != fold(dst.grid_lib_name)
                and declares_type_of(text, dst.grid_lib_name)):
            return True
    return False


def form_references(frm):
    """Catalogue positions named by the form's library lines above its
    first Begin line."""
    reader = LineReader(frm)
    named = set()
    try:
        while not reader.eof():
            line, _ = read_logical_line(reader)
            if fold(line.lstrip(" "))[:5] == "begin":
                break
            named |= {p for p in range(1, len(CATALOGUE) + 1) if is_form_object_line_for(line, p)}
    except ConversionError:
        pass
    return named


def convert_form_file(frm, frx, from_type, to_type):
    """Converts a form (or a UserControl, UserDocument or PropertyPage).
    frx is the side file's bytes, or None when the component has none; a
    grid's OleObjectBlob line then fails the form. Returns (result,
    converted text bytes, converted side file bytes or None); the two byte
    strings are None on failure."""
    grid_names = []
    dropdown_names = []
    blob = bytearray(frx) if frx is not None else None
    plan = header_plan(frm, from_type, to_type)
    try:
        reader = LineReader(frm)
        counter = [0]

        def next_line():
            counter[0] += 1
            return read_logical_line(reader)

        out = []
        in_code = False
        changed = False
        while not reader.eof():
            index = counter[0]
            line, raw = next_line()
            if index in plan:
                changed = True
                if plan[index] is not None:
                    out.append(plan[index])
                continue
            write_joined = False
            if not in_code:
                if fold(line) == "end":
                    in_code = True
                elif is_grid_begin_line(line, from_type, grid_names, dropdown_names):
                    renamed = rename_begin_line(line, from_type, to_type)
                    if renamed != line:
                        changed = True
                    line = renamed
                    out.append(line)
                    ended = False
                    while not reader.eof():
                        line, raw = next_line()
                        if fold(line[-6:]) == "   end":
                            ended = True
                            break
                        if contains_ci(line, "OleObjectBlob"):
                            offset = frx_offset(line)
                            if blob is None:
                                raise ConversionError("a record without its side file")
                            result = convert_ole_object_blob(blob, offset, from_type, to_type)
                            if result == -1:
                                raise ConversionError("bad record")
                            if result == 1:
                                changed = True
                        out.append(line)
                    if not ended:
                        # The input ended inside the block: every line read
                        # has been written once already.
                        continue
                    write_joined = True
            else:
                # An event header gets its event rule and then the
                # declaration rule over all of its text; any other code line
                # the declaration rule alone. Either way a line whose text
                # comes out as it went in is no change.
                new = line
                if is_grid_event_procedure(line, grid_names, dropdown_names):
                    new, _ = rewrite_event_line(new, from_type, to_type, grid_names)
                new, _ = rewrite_declarations(new, from_type, to_type)
                if new != line:
                    changed = True
                    out.append(MARKER)
                    out.extend("'" + r for r in raw)
                    write_joined = True
                    line = new
            if write_joined:
                out.append(line)
            else:
                out.extend(raw)
        return ((1 if changed else 0), join_lines(out),
                bytes(blob) if blob is not None else None)
    except ConversionError:
        return -1, None, None


# ---------------------------------------------------------------------------
# Project file

# Components converted as forms, with the extension of their side file.
FORM_KINDS = [("form", ".frx"), ("usercontrol", ".ctx"), ("userdocument", ".dox"),
              ("propertypage", ".pgx")]


def scan_project_file(data):
    """Returns (form-like components as (text, side extension), module and
    class texts), each as listed, in file order."""
    forms, modules = [], []
    for line in split_lines(data):
        for key, ext in FORM_KINDS:
            if fold(line[:len(key) + 1]) == key + "=":
                forms.append((line[len(key) + 1:].strip(" "), ext))
                break
        else:
            if fold(line[:7]) == "module=" or fold(line[:6]) == "class=":
                p = line.find(";")
                modules.append(line[p + 1:].strip(" "))
    return forms, modules


def referenced_rows(data):
    """Catalogue positions that the project file's reference lines name."""
    lines = split_lines(data)
    return {p for p in range(1, len(CATALOGUE) + 1)
            if any(is_object_line_for(l, p) for l in lines)}


def rewrite_project_file(data, from_type, to_type):
    """The first source reference becomes the target's, every target
    reference goes; a project that names no source library keeps all its
    reference lines (dropping its target line alone would leave it with no
    grid library)."""
    lines = split_lines(data)
    if not any(is_object_line_for(l, from_type) for l in lines):
        return 0, join_lines(lines)
    out = []
    replaced = False
    for line in lines:
        if is_object_line_for(line, to_type):
            continue
        if is_object_line_for(line, from_type) and not replaced:
            out.append(object_line_for(to_type))
            replaced = True
        else:
            out.append(line)
    return (1 if replaced else 0), join_lines(out)


# ---------------------------------------------------------------------------
# Names on disk
#
# Paths are bytes. VB wrote the listed names in the ANSI code page, while a
# checkout or Wine gives the same files their UTF-8 names.

_FOLD_BYTES = bytes(c + 32 if 0x41 <= c <= 0x5A else c for c in range(256))

# Single-byte code pages that --codepage accepts (Python's cpNNNN codecs).
CODEPAGES = (874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258)


def fold_bytes(data):
    return data.translate(_FOLD_BYTES)


def decode_ansi(data, codepage=1252):
    """Bytes of the code page as text; a byte the code page leaves undefined
    stands for the code point of the same value."""
    codec = codecs.lookup("cp%d" % codepage)
    out = []
    for b in data:
        try:
            out.append(codec.decode(bytes([b]))[0])
        except UnicodeDecodeError:
            out.append(chr(b))
    return "".join(out)


def fold_latin(text):
    """Folds A-Z and U+00C0..U+00DE (but U+00D7) to lower case, nothing else."""
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" or (0xC0 <= ord(c) <= 0xDE and c != "\xd7")
                   else c for c in text)


def display(path):
    """A path for messages: as UTF-8 where it is, else read in Windows-1252."""
    try:
        return path.decode("utf-8")
    except UnicodeDecodeError:
        return decode_ansi(path)


def find_entry(folder, name, codepage=1252, kind=os.path.exists):
    """The entry of folder that a listed name means, or None: the name as
    written; else the first entry (in byte order) equal to it ignoring ASCII
    case; else, for a name holding a byte above 0x7F, its UTF-8 spelling in
    the code page, exactly and then ignoring the case of ASCII and Latin-1
    letters. kind says what the entry must be."""
    if kind(os.path.join(folder, name)):
        return name
    if not os.path.isdir(folder) or name in (b".", b".."):
        return None
    entries = sorted(os.listdir(folder))
    for e in entries:
        if fold_bytes(e) == fold_bytes(name) and kind(os.path.join(folder, e)):
            return e
    if max(name, default=0) <= 0x7F:
        return None
    text = decode_ansi(name, codepage)
    utf8 = text.encode("utf-8")
    if kind(os.path.join(folder, utf8)):
        return utf8
    wanted = fold_latin(text)
    for e in entries:
        if (fold_latin(e.decode("utf-8", "surrogateescape")) == wanted
                and kind(os.path.join(folder, e))):
            return e
    return None


def resolve(directory, listed, codepage=1252):
    """A path listed in the project file (bytes): backslashes become "/"; a
    path not found as written is looked up folder by folder with
    find_entry. Returns a path (possibly naming nothing)."""
    text = listed.replace(b"\\", b"/")
    path = os.path.join(directory, text)
    if os.path.exists(path):
        return path
    current = directory if not text.startswith(b"/") else b"/"
    for part in [p for p in text.split(b"/") if p != b""]:
        found = find_entry(current, part, codepage)
        current = os.path.join(current, found if found is not None else part)
    return current


def side_file_beside(text_path, ext, codepage=1252):
    """The side file of a form-like text file: its base name with ext, in
    its folder, ignoring ASCII case (the first in byte order); else, as a
    listed name is, under its UTF-8 spelling."""
    folder, name = os.path.split(text_path)
    base = name[:name.rfind(b".")] if b"." in name else name
    wanted = base + ext.encode("ascii")
    if not os.path.isdir(folder):
        return None
    for entry in sorted(os.listdir(folder)):
        if fold_bytes(entry) == fold_bytes(wanted) and os.path.isfile(os.path.join(folder, entry)):
            return os.path.join(folder, entry)
    if max(wanted) > 0x7F:
        found = find_entry(folder, wanted, codepage, os.path.isfile)
        if found is not None:
            return os.path.join(folder, found)
    return None


# ---------------------------------------------------------------------------
# Whole project on disk


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def convert_project(project_path, from_type, to_type, log=None, codepage=1252):
    """Converts the project on disk; from_type None: the one the project
    file references (see the module's text). Returns the exit status."""
    def say(msg):
        if log is not None:
            log(msg)

    if from_type == to_type:
        say("--from and --to name the same grid type")
        return 2
    if codepage not in CODEPAGES:
        say("code page %r is not one of %s" % (codepage, ", ".join(map(str, CODEPAGES))))
        return 2
    project_path = os.fsencode(project_path)
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

    def listed(text):
        return resolve(directory, text.encode("latin-1"), codepage)

    # Form-like components first, as listed, then modules and classes.
    jobs = []  # (kind, path, side file path or None, side extension)
    for text, ext in form_texts:
        path = listed(text)
        jobs.append(("form", path, side_file_beside(path, ext, codepage), ext))
    for text in module_texts:
        jobs.append(("code", listed(text), None, None))

    # A form that is a folder makes the project unreadable. A missing form
    # whose side file is there, a form without its side file whose text
    # names one (".frx":), and a missing module or class are files the
    # project needs: all are named, and the run fails before it converts.
    # A missing form without a side file is passed over.
    missing = []
    for kind, path, side, ext in jobs:
        if kind != "form":
            if not os.path.exists(path):
                missing.append(path)
            continue
        if os.path.isdir(path):
            say("%s: the listed form is a folder" % display(path))
            return 2
        if side is not None and not os.path.exists(path):
            missing.append(path)
        if side is None and os.path.isfile(path):
            named = (ext + '":').encode("ascii")
            if named in fold_bytes(read_bytes(path)):
                missing.append(path[:path.rfind(b".")] + ext.encode("ascii"))
    if missing:
        say("missing: " + ", ".join(display(p) for p in missing))
        return 1

    if from_type is None:
        rows = referenced_rows(project)
        sources = sorted(rows - {to_type})
        if not sources and to_type in rows:
            say("the project already uses %s; nothing needs conversion" % row(to_type).full_name)
            return 3
        if len(sources) != 1:
            say("cannot tell the source type (%s); give --from"
                % (", ".join(row(p).full_name for p in sources) or "no grid library"))
            return 2
        from_type = sources[0]

    for kind, path, side, ext in jobs:
        if os.path.isfile(path) and b"\0" in read_bytes(path):
            say("%s holds a NUL byte" % display(path))
            return 1

    new_contents = []  # (path, bytes, "text" or "binary")
    changed = False
    # What the project names: its own reference lines and those of the forms
    # converted; and whether any binary record changed.
    named = referenced_rows(project)
    record_changed = False
    for kind, path, side, ext in jobs:
        if kind == "form":
            if side is None and not os.path.isfile(path):
                continue
            try:
                frm = read_bytes(path)
                frx = read_bytes(side) if side is not None else None
            except OSError:
                return 1
            result, frm_out, frx_out = convert_form_file(frm, frx, from_type, to_type)
            if result == -1:
                say("Error converting file: " + display(path))
                return 1
            named |= form_references(frm)
            record_changed |= frx is not None and frx_out != frx
            new_contents.append((path, frm_out, "text"))
            if side is not None:
                new_contents.append((side, frx_out, "binary"))
        else:
            if not os.path.isfile(path):
                say("Error converting file: " + display(path))
                return 1
            result, out = convert_code_file(read_bytes(path), from_type, to_type)
            if result == -1:
                say("Error converting file: " + display(path))
                return 1
            new_contents.append((path, out, "text"))
        if result == 1:
            changed = True

    # A source the project does not name, beside another old library it does
    # name, whose records nothing changes: converting would change its text
    # alone, so it is refused and nothing is written.
    others = named - {from_type, to_type}
    if changed and others and from_type not in named and not record_changed:
        say("the project names %s, not %s; nothing was changed"
            % (", ".join(row(p).ocx_file_name for p in sorted(others)),
               row(from_type).ocx_file_name))
        return 2

    if not changed:
        # Nothing to change here, but a file another project converted
        # first: the reference moves all the same, if there is one to move.
        converted_texts = [read_bytes(path) for kind, path, side, ext in jobs
                           if os.path.isfile(path)]
        if not any(uses_target(t, from_type, to_type) for t in converted_texts):
            return 3
        result, out = rewrite_project_file(project, from_type, to_type)
        if result == 0:
            return 3
        with open(project_path, "wb") as f:
            f.write(out)
        return 0
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
    codepage = 1252
    project = None
    quiet = False
    i = 0
    while i < len(args):
        a = args[i]
        if a in ("--from", "--to", "--codepage") and i + 1 < len(args):
            try:
                value = int(args[i + 1])
            except ValueError:
                print("%s needs a number" % a, file=sys.stderr)
                return 2
            if a == "--from":
                from_type = value
            elif a == "--to":
                to_type = value
            else:
                codepage = value
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
    if to_type is None or project is None:
        print("convert needs --to and a project file", file=sys.stderr)
        return 2
    if not ((from_type is None or 1 <= from_type <= 6) and 1 <= to_type <= 6):
        return 2
    log = None if quiet else (lambda m: print(m, file=sys.stderr))
    return convert_project(project, from_type, to_type, log, codepage)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
