#!/usr/bin/env python3
"""Random but plausible VB4 projects for the cross-check, one per seed.

    generate_projects.py SEED DEST

writes a project into the empty or missing folder DEST and prints a JSON
line with the project file (relative to DEST) and the grid types to convert
from and to. The same seed always gives the same bytes.

The projects aim at the conversion rules: forms with nested containers,
grids and drop-downs of every catalogue library (and of names that only
extend them), Begin lines in any case, control names that extend others,
event procedures of every kind in many spellings, declarations in code and
comments, continued lines, .frx records with GUIDs of all six catalogue rows
at odd and even offsets, every kind of line end, and now and then an input
that must make the run fail.

A share of the seeds (chosen by modern(seed), so that every other seed
draws the same numbers as ever and gives the same bytes) stands for projects
last saved by VB5 or VB6: forms headed "VERSION 5.00" with their
Object = "{...}" lines above the first Begin, "LB" records in the side
files, UserControls, UserDocuments and PropertyPages, forms without a side
file that still declare grid types, project files that reference only the
target library, and file names with Windows-1252 letters that are written
in the project file in that code page while the file on disk has the UTF-8
name, now and then in another case.
"""

import json
import re
import os
import random
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vb_convert as vb  # noqa: E402

# Lower-case Latin-1 letters whose upper case is Latin-1 too.
LATIN1_LETTERS = [chr(c) for c in range(0xE0, 0xFF) if c != 0xF7]
LIB_NAMES = ["MSPlover", "VireoCore", "VireoCoreStd", "VireoCore45"]
EVENTS = ["_FetchCellStyle", "_UnboundReadData", "_UnboundReadDateEx", "_UnboundAddData",
          "_UnboundWriteData", "_FirstRowChange", "_LeftColChange"]
OTHER_EVENTS = ["_Click", "_RowColChange", "_HeadClick", "_UnboundReadDataX",
                "_FetchCellStyles", "_LeftColChanged"]
MEMBER_TYPES = ["Column", "Columns", "StyleDisp", "RowBuffer", "Split", "Splits",
                "Style", "VireoCtl", "VireoDropDown", "ValueItems"]

# Form-like components: project key, class of the Begin line, extensions of
# the text and side files.
FORM_KINDS = [("Form", "VB.Form", ".frm", ".frx"),
              ("UserControl", "VB.UserControl", ".ctl", ".ctx"),
              ("UserDocument", "VB.UserDocument", ".dob", ".dox"),
              ("PropertyPage", "VB.PropertyPage", ".pag", ".pgx")]

# Control libraries that are not in the catalogue, as a VB6 form names them.
OTHER_LIBRARIES = [("5E3C1A40-7B21-4C8F-9D2E-1F0A6B3C4D5E", "#2.0#0", "WIDGETS.OCX"),
                   ("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9", "#1.1#0", "TABS32.OCX")]


def ansi(text):
    """Text as the Windows-1252 bytes VB writes, one character per byte."""
    return text.encode("cp1252").decode("latin-1")


# Base names with letters of Windows-1252 beyond ASCII; the last two hold
# bytes that Windows-1252 leaves undefined.
ACCENTED_NAMES = [ansi(w) for w in ["Fórm", "Übersicht", "Café", "Señal", "Ægir", "Çà",
                                    "Größe", "Œuvre", "Šablona", "Élève", "Ñandú", "Prix€"]]
ACCENTED_NAMES += ["Dat\x81", "X\x8d\x9d"]
ACCENTED_FOLDERS = [ansi(w) for w in ["Résumé", "Módulos", "ÉTÉ"]]


def modern(seed):
    """Whether the seed's project is a VB5/VB6 save with the newer cases."""
    return random.Random("modern %d" % seed).random() < 0.4


def _case_folded(c):
    o = ord(c)
    return "a" <= c.lower() <= "z" or (0xC0 <= o <= 0xFE and o not in (0xD7, 0xF7, 0xDF))


def latin_lower(text):
    """Lower case of ASCII and Latin-1 letters only (for ASCII, str.lower)."""
    return "".join(c.lower() if _case_folded(c) else c for c in text)


def latin_upper(text):
    return "".join(c.upper() if _case_folded(c) else c for c in text)


def utf8_name(listed):
    """The UTF-8 name on disk of a name written in Windows-1252."""
    return vb.decode_ansi(listed.encode("latin-1")).encode("utf-8")


def ascii_lower(text):
    return "".join(c.lower() if "A" <= c <= "Z" else c for c in text)


def ascii_upper(text):
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


def on_disk(rng, listed, raw_allowed=True):
    """The name on disk of a name listed in Windows-1252: an ASCII name as
    it is; another mostly under its UTF-8 spelling, now and then in another
    case of its letters, and sometimes (raw_allowed) as the bytes written."""
    if max(map(ord, listed), default=0) < 0x80:
        return listed.encode("latin-1")
    r = rng.random()
    if raw_allowed and r < 0.15:
        return listed.encode("latin-1")
    if r < 0.4:
        return utf8_name(rng.choice([latin_lower, latin_upper])(listed))
    return utf8_name(listed)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def vary_case(rng, text, p=0.25):
    """Changes the case of text now and then; upper and lower case of a
    Latin-1 letter stay Latin-1 in the texts generated here."""
    r = rng.random()
    if r < p / 2:
        return text.lower()
    if r < p:
        return text.upper()
    if r < p * 1.3:
        return "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in text)
    return text


# Stands in a form's text for the offset of the record that is put last in
# its side file once the form is built (see Frx.finish).
TAIL = "@TAIL@"


class Frx:
    """A .frx file being built: records appended one after another. A modern
    one also holds "LB" records, and may end with a record whose payload
    reaches the file's last byte or runs past it."""

    def __init__(self, rng, modern=False):
        self.rng = rng
        self.modern = modern
        self.tail = None  # "good" or "bad" once a line names the last record
        self.data = bytearray()
        if rng.random() < 0.3:
            self.data += bytes(rng.randrange(256) for _ in range(rng.randrange(1, 9)))

    def random_guid_bytes(self):
        r = self.rng.choice(vb.CATALOGUE)
        return self.rng.choice(r.guids).to_bytes()

    def payload(self, prefer):
        rng = self.rng
        n = rng.randrange(16, 160)
        buf = bytearray(rng.randrange(256) for _ in range(n))
        for _ in range(rng.randrange(0, 7)):
            if prefer is not None and rng.random() < 0.6:
                g = rng.choice(prefer.guids).to_bytes()
            else:
                g = self.random_guid_bytes()
            style = rng.random()
            if style < 0.15 and len(buf) >= 32:
                # a run of two, the second overlapping the first
                at = rng.randrange(0, len(buf) - 31)
                shift = rng.randrange(1, 16)
                buf[at:at + 16] = g
                buf[at + shift:at + shift + 16] = self.random_guid_bytes() if rng.random() < 0.5 else g
            elif style < 0.3:
                # two adjacent
                at = rng.randrange(0, max(1, len(buf) - 31)) if len(buf) >= 32 else 0
                buf[at:at + 16] = g
                buf[at + 16:at + 32] = rng.choice(prefer.guids if prefer else vb.CATALOGUE[0].guids).to_bytes()
            else:
                at = rng.randrange(0, max(1, len(buf) - 15))
                buf[at:at + 16] = g
        return bytes(buf)

    def lb_record(self, payload, n=None):
        rng = self.rng
        kind = 13 if rng.random() < 0.9 else rng.choice([0, 12, 14, 0x4C42])
        if rng.random() < 0.2:
            # extents that hold a GUID, which must never be touched
            extents = self.random_guid_bytes()
        else:
            extents = struct.pack("<iiii", *(rng.randrange(-50000, 50000) for _ in range(4)))
        return (b"LB" + struct.pack("<HI", kind, len(payload) if n is None else n)
                + extents + payload)

    def add_record(self, prefer):
        rng = self.rng
        offset = len(self.data)
        if self.modern and rng.random() < 0.6:
            self.data += self.lb_record(self.payload(prefer))
            if rng.random() < 0.3:
                self.data += self.random_guid_bytes() if rng.random() < 0.5 else b"LB"
            return offset
        h = 6 if rng.random() < 0.75 else rng.randrange(7, 40)
        payload = self.payload(prefer)
        header = bytearray(struct.pack("<hi", h, len(payload)))
        while len(header) < h:
            header.append(rng.randrange(256))
        if h >= 22 and rng.random() < 0.5:
            # a GUID in the header must never be touched
            header[6:22] = self.random_guid_bytes()
        self.data += header + payload
        if rng.random() < 0.3:
            # bytes between records, sometimes a GUID among them
            self.data += self.random_guid_bytes() if rng.random() < 0.5 else bytes(3)
        return offset

    def add_bad_record(self):
        """A record that must make the form fail."""
        rng = self.rng
        offset = len(self.data)
        if self.modern and rng.random() < 0.5:
            # N of 0, or one that no file here reaches, read signed or not
            n = rng.choice([0, 5000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF])
            self.data += self.lb_record(bytes(rng.randrange(0, 9)), n)
            return offset
        kind = rng.randrange(4)
        if kind == 0:
            self.data += struct.pack("<hi", rng.choice([0, 3, 5, -2]), 8) + bytes(8)
        elif kind == 1:
            self.data += struct.pack("<hi", 6, rng.choice([0, -1]))
        elif kind == 2:
            self.data += struct.pack("<hi", 6, 5000) + bytes(20)
        else:
            return len(self.data) + rng.randrange(0, 40)  # past the end
        return offset

    def finish(self, prefer):
        """Appends the record that the form's lines name by TAIL, and returns
        its offset: a whole "LB" record ending at the file's last byte, or
        one whose N runs past it."""
        rng = self.rng
        offset = len(self.data)
        payload = self.payload(prefer)
        if self.tail == "good":
            self.data += self.lb_record(payload)
        else:
            self.data += self.lb_record(payload, len(payload) + rng.choice([1, 1, 2, 16]))
        return offset


def offset_text(rng, offset):
    r = rng.random()
    if r < 0.75:
        return "%04X" % offset
    if r < 0.85:
        return "%x" % offset
    if r < 0.92:
        return " %04X " % offset
    return "%08X" % offset


class FormBuilder:
    def __init__(self, rng, name, frx_name, from_type, modern=False, records=True):
        self.rng = rng
        self.name = name
        self.frx_name = frx_name
        self.frx = Frx(rng, modern)
        self.modern = modern
        self.records = records  # False: a form without a side file writes no records
        self.from_row = vb.row(from_type)
        self.lines = []
        self.names = []  # every control name, file order
        self.bad = False
        self.used_names = set()

    def fresh_name(self, base):
        rng = self.rng
        pool = [base + str(rng.randrange(1, 4)), base + str(rng.randrange(10, 13)), base,
                "Vr" + base + str(rng.randrange(1, 3)), base + "1" + str(rng.randrange(0, 3)),
                base + rng.choice(LATIN1_LETTERS) + str(rng.randrange(1, 3))]
        for _ in range(10):
            n = rng.choice(pool)
            if n not in self.used_names:
                self.used_names.add(n)
                return n
        n = base + str(len(self.used_names) + 20)
        self.used_names.add(n)
        return n

    def grid_type(self):
        rng = self.rng
        r = rng.random()
        if r < 0.45:
            return self.from_row.full_name, "Grid"
        if r < 0.6:
            return self.from_row.grid_lib_name + ".VireoDropDown", "DropDown"
        if r < 0.8:
            return rng.choice(vb.CATALOGUE).full_name, "Grid"
        if r < 0.88:
            return rng.choice(LIB_NAMES) + ".VireoDropDown", "DropDown"
        # names that only extend a catalogue name
        return rng.choice(["VireoCore.VireoCtlX", "VireoCore45.VireoCtlEx", "MSPlover.PloverGrid",
                           "VireoCore.VireoDropDownX", "MyVireoCore.VireoCtl",
                           "VireoCoreStd.VireoCtl"]), "Grid"

    def blob_line(self, indent, prefer, allow_bad):
        rng = self.rng
        if self.modern and self.frx.tail in (None, "good") and rng.random() < 0.12:
            # the record put last in the side file, whole or running past its end
            bad = (allow_bad and rng.random() < 0.5) or rng.random() < 0.3
            self.frx.tail = "bad" if bad else (self.frx.tail or "good")
            if self.frx.tail == "bad":
                self.bad = True
            return indent + "OleObjectBlob   =   \"" + self.frx_name + "\":" + TAIL
        if allow_bad and rng.random() < 0.5:
            self.bad = True
            choice = rng.randrange(4)
            if choice == 0:
                text = '"%s":%s' % (self.frx_name, rng.choice(
                    ["zz", "", "123456789", "80000000", "FFFFFFFF", "-4", "00 14", "&H14", "1g"]))
            elif choice == 1 and len(self.frx.data) > 6:
                # somewhere inside what is there already, or in its last bytes
                at = (rng.randrange(len(self.frx.data)) if rng.random() < 0.5
                      else len(self.frx.data) - rng.randrange(1, 6))
                text = '"%s":%04X' % (self.frx_name, at)
            else:
                text = '"%s":%04X' % (self.frx_name, self.frx.add_bad_record())
            return indent + "OleObjectBlob   =   " + text
        if rng.random() < 0.05 and len(self.frx.data) >= 6:
            # no colon: the record at offset 0
            return indent + "OleObjectBlob   =   " + self.frx_name
        offset = self.frx.add_record(prefer)
        key = vary_case(rng, "OleObjectBlob", 0.2)
        return indent + key + "   =   \"" + self.frx_name + "\":" + offset_text(rng, offset)

    def control(self, depth, indent, allow_bad):
        rng = self.rng
        r = rng.random()
        pad = " " * indent
        inner = pad + "   "
        begin = "Begin" if rng.random() < 0.8 else rng.choice(["begin", "BEGIN", "bEGIN"])
        trail = " " if rng.random() < 0.7 else ""
        if r < 0.2 and depth < 3:
            kind = rng.choice(["VB.Frame", "VB.PictureBox", "Threed.SSPanel"])
            name = self.fresh_name(kind.split(".")[1][:5])
            self.names.append(name)
            self.lines.append(pad + begin + " " + kind + " " + name + trail)
            self.lines.append(inner + 'Caption         =   "' + name + '"')
            self.lines.append(inner + "Height          =   %d" % rng.randrange(100, 5000))
            for _ in range(rng.randrange(1, 4)):
                self.control(depth + 1, indent + 3, allow_bad)
            self.lines.append(pad + "End")
            return
        if r < 0.75:
            cls, base = self.grid_type()
            cls_text = vary_case(rng, cls, 0.2)
            name = self.fresh_name(base)
            self.names.append(name)
            sep = " " if rng.random() < 0.97 else "  "
            sep2 = " " if rng.random() < 0.98 else "\t"
            line = pad + begin + sep + cls_text + sep2 + name + trail
            if rng.random() < 0.03:
                line = pad + begin + " " + cls_text + trail  # no name
            if rng.random() < 0.03:
                self.lines.extend([pad + begin + " " + cls_text + " _", pad + "    " + name])
            else:
                self.lines.append(line)
            self.lines.append(inner + "Height          =   %d" % rng.randrange(100, 5000))
            if rng.random() < 0.3:
                self.lines.append(inner + "BeginProperty Font {0BE35203-8F91-11CE-9DE3-00AA004BB851} ")
                self.lines.append(inner + '   name            =   "MS Sans Serif"')
                self.lines.append(inner + "   size            =   8.25")
                self.lines.append(inner + "EndProperty")
            if rng.random() < 0.05:
                self.lines.append(inner + 'Caption         =   "Grid" & _')
                self.lines.append(inner + '     "continued"')
            if rng.random() < 0.04:
                self.lines.append(inner + "' a comment in the block _")
            prefer = self.from_row if rng.random() < 0.7 else rng.choice(vb.CATALOGUE)
            for _ in range(rng.choice([1, 1, 1, 1, 0, 2])):
                line = self.blob_line(inner, prefer, allow_bad and rng.random() < 0.3)
                if self.records:
                    self.lines.append(line)
            if rng.random() < 0.08 and self.lines:
                # a second grid naming the same record
                self.lines.append(self.lines[-1] if "OleObjectBlob" in self.lines[-1]
                                  else inner + "TabIndex        =   3")
            self.lines.append(inner + "_ExtentX        =   %d" % rng.randrange(1000, 9000))
            end = "End" if rng.random() < 0.9 else rng.choice(["END", "end", "End ", "End\t"])
            self.lines.append(pad + end)
            return
        kind = rng.choice(["VB.TextBox", "VB.CommandButton", "VB.Label", "VB.Data",
                           "MSComDlg.CommonDialog"])
        name = self.fresh_name(kind.split(".")[1][:4])
        self.names.append(name)
        self.lines.append(pad + begin + " " + kind + " " + name + trail)
        self.lines.append(inner + "Height          =   %d" % rng.randrange(100, 900))
        if rng.random() < 0.05:
            self.lines.append(inner + 'Caption         =   "Begin ' + self.from_row.full_name + ' Fake"')
        if rng.random() < 0.1:
            self.lines.append(inner + "DataSource      =   \"Data1\"")
        if rng.random() < 0.05:
            self.lines.append(inner + "Tag             =   \"a\" _")
            self.lines.append(inner + "   & \"b " + self.from_row.full_name + "\"")
        self.lines.append(pad + "End")


def event_line(rng, name, suffix, from_type):
    """A declaration line of an event procedure, in one of many spellings."""
    libs = LIB_NAMES + [vb.row(from_type).grid_lib_name] * 3
    prefix = rng.choice(["Private ", "Private ", "Public ", "", "Static ", "Private Static "])
    sub = "Sub " if rng.random() < 0.9 else rng.choice(["sub ", "SUB ", "Sub  "])
    nm = vary_case(rng, name, 0.15)
    sfx = vary_case(rng, suffix, 0.1)
    if suffix == "_FetchCellStyle":
        style = rng.choice(["As Object", "As StyleDisp", "As " + rng.choice(libs) + ".StyleDisp",
                            "As Variant", "as object", "AS STYLEDISP"])
        params = ("(ByVal Condition As Integer, ByVal Split As Integer, Bookmark As Variant, "
                  "ByVal Col As Integer, ByVal CellStyle " + style + ")")
        if rng.random() < 0.15:
            params += " ' CellStyle As Object"
    elif suffix.startswith("_Unbound"):
        buf = rng.choice(["As RowBuffer", "As " + rng.choice(libs) + ".RowBuffer", "As Variant",
                          "as rowbuffer"])
        params = "(ByVal RowBuf " + buf + ", StartLocation As Variant, ByVal ReadPriorRows As Boolean)"
    else:
        params = rng.choice(["()", "()", "()", " ()", "(ByVal SplitIndex As Integer)", "",
                             "( )"])
    if rng.random() < 0.15 and params not in ("()", " ()", ""):
        # a declaration that the event rules leave alone when they apply
        params = params[:-1] + ", g As " + rng.choice(libs) + ".Column)"
    line = prefix + sub + nm + sfx + params
    if rng.random() < 0.05:
        line = "\t" + line
    return line


def continue_line(rng, line):
    """Splits a line at blanks into physical lines joined by " _"."""
    words = line.split(" ")
    if len(words) < 3:
        return [line]
    cuts = sorted(rng.sample(range(1, len(words)), min(len(words) - 1, rng.randrange(1, 4))))
    parts = []
    last = 0
    for c in cuts:
        parts.append(" ".join(words[last:c]))
        last = c
    parts.append(" ".join(words[last:]))
    out = []
    for i, p in enumerate(parts):
        if i > 0:
            p = " " * rng.randrange(0, 8) + p
        if i < len(parts) - 1:
            p += rng.choice([" _", " _", "  _", " _  ", "_", " _\t"])
        out.append(p)
    return out


def declaration_line(rng, from_type):
    libs = LIB_NAMES + [vb.row(from_type).grid_lib_name] * 4
    parts = []
    for _ in range(rng.randrange(1, 4)):
        lib = vary_case(rng, rng.choice(libs), 0.2)
        new = rng.random() < 0.35
        as_ = rng.choice(["As ", "As ", "as ", "AS ", "As  "]) if not new else rng.choice(
            ["As New ", "As New ", "as new ", "As  New "])
        var = rng.choice(["g", "col", "s", "rb", "Grid1x", "sty"]) + str(rng.randrange(9))
        parts.append(var + " " + as_ + lib + "." + rng.choice(MEMBER_TYPES))
    kind = rng.random()
    if kind < 0.6:
        line = rng.choice(["Dim ", "Private ", "Public ", "Static ", "    Dim ", "Global "]) + ", ".join(parts)
    elif kind < 0.75:
        line = "Public Function Make(" + ", ".join(parts) + ") As " + rng.choice(libs) + ".Columns"
    elif kind < 0.85:
        line = "    Set x = New " + rng.choice(libs) + ".Style ' As " + rng.choice(libs) + ".Style"
    else:
        line = "Dim t As " + rng.choice(libs) + "X.Column, u As NewVireoCore.Col"
    r = rng.random()
    if r < 0.1:
        line = rng.choice(["' ", "    ' ", "Rem ", "  Rem ", "Remark", "rem ", "\t' ",
                           "REM "]) + line
    elif r < 0.13:
        line = rng.choice(["\t", "x = 1: ", "If b Then "]) + line
    return line


def body_lines(rng, from_type, names):
    out = []
    for _ in range(rng.randrange(0, 4)):
        r = rng.random()
        if r < 0.4:
            line = "    " + declaration_line(rng, from_type).lstrip()
        elif r < 0.6 and names:
            line = "    " + rng.choice(names) + ".Refresh"
        elif r < 0.7:
            line = "    End"
        elif r < 0.8:
            line = "    Rem Sub " + (rng.choice(names) if names else "X") + "_FetchCellStyle As Object"
        else:
            line = "    x = x + 1"
        if rng.random() < 0.1:
            out.extend(continue_line(rng, line))
        else:
            out.append(line)
    return out


def code_lines(rng, from_type, names, form):
    out = []
    if form:
        out.append("Option Explicit")
    for _ in range(rng.randrange(1, 5)):
        line = declaration_line(rng, from_type)
        out.extend(continue_line(rng, line) if rng.random() < 0.15 else [line])
    procs = rng.randrange(0, 14) if form and names else rng.randrange(0, 3)
    for _ in range(procs):
        if form and names and rng.random() < 0.85:
            name = rng.choice(names)
            suffix = rng.choice(EVENTS + OTHER_EVENTS[:3] if rng.random() < 0.8 else OTHER_EVENTS)
            decl = event_line(rng, name, suffix, from_type)
        else:
            decl = "Public Sub Helper%d(g As %s.VireoCtl)" % (rng.randrange(9), rng.choice(LIB_NAMES))
        r = rng.random()
        if r < 0.08:
            decl = rng.choice(["'", "   '", "Rem ", "   Rem ", "rem "]) + decl
        if rng.random() < 0.15:
            out.extend(continue_line(rng, decl))
        else:
            out.append(decl)
        out.extend(body_lines(rng, from_type, names))
        out.append("End Sub")
        if rng.random() < 0.5:
            out.append("")
    return out


def encode(rng, lines, malformed_tail=False):
    """Joins lines with a chosen kind of line end."""
    r = rng.random()
    if r < 0.6:
        ends = ["\r\n"]
    elif r < 0.75:
        ends = ["\n"]
    elif r < 0.85:
        ends = ["\r"]
    else:
        ends = ["\r\n", "\n", "\r"]
    text = ""
    for i, line in enumerate(lines):
        text += line
        if i < len(lines) - 1 or rng.random() < 0.8 or malformed_tail:
            text += rng.choice(ends)
    return text.encode("latin-1")


def header_object_line(rng, libid, version, ocx):
    """A VB6 form's line naming a control library, now and then in a
    spelling that is no such line (other blanks, no quote, no brace)."""
    prefix = 'Object = "{'
    r = rng.random()
    if r < 0.1:
        prefix = prefix.lower()
    elif r < 0.15:
        prefix = prefix.upper()
    elif r < 0.25:
        prefix = rng.choice(['Object="{', 'Object  = "{', ' Object = "{', 'Object = {',
                             '\tObject = "{', 'Object =  "{'])
    if rng.random() < 0.1:
        libid = libid.lower()
    if rng.random() < 0.1:
        version = rng.choice(["#9.9#0", "#1.0#0", "#4.5#0"])
    close = "}" if rng.random() < 0.97 else ")"
    return prefix + libid + close + version + '"; "' + ocx + '"'


def form_header(rng, from_type, to_type):
    """The lines above a VB5/VB6 form's first Begin line."""
    lines = ["VERSION 5.00" if rng.random() < 0.9 else "VERSION 4.00"]
    if rng.random() < 0.15:
        return lines
    pool = [from_type] * 3 + [to_type] * 2 + list(range(1, 7)) + [None] * 2
    for _ in range(rng.randrange(1, 5)):
        pick = rng.choice(pool)
        if pick is None:
            libid, version, ocx = rng.choice(OTHER_LIBRARIES)
        else:
            r = vb.row(pick)
            libid, version, ocx = r.libid, r.version, r.ocx_file_name
        lines.append(header_object_line(rng, libid, version, ocx))
    if rng.random() < 0.1:
        lines.insert(rng.randrange(1, len(lines) + 1), 'Object = "*\\A..\\Ctl\\Widgets.vbp"')
    return lines


def make_form(rng, name, frx_name, from_type, to_type, allow_bad, modern=False, cls="VB.Form",
              records=True):
    """A form-like text file and its side file's bytes. records=False makes
    one that is saved without a side file: no line names a record."""
    fb = FormBuilder(rng, name, frx_name, from_type, modern, records)
    if modern:
        fb.lines.extend(form_header(rng, from_type, to_type))
        fb.lines.append("Begin " + cls + " " + name + rng.choice([" ", ""]))
    else:
        fb.lines.append("VERSION 4.00")
        fb.lines.append("Begin VB.Form " + name + " ")
    fb.lines.append('   Caption         =   "' + name + '"')
    fb.lines.append("   ClientHeight    =   %d" % rng.randrange(1000, 9000))
    if rng.random() < 0.3 and records:
        fb.lines.append('   Icon            =   "' + frx_name + '":' + "%04X" % fb.frx.add_record(None))
    for _ in range(rng.randrange(0, 6)):
        fb.control(0, 3, allow_bad)
    if rng.random() < 0.05:
        # a grid at the form's own indentation: its block only ends at a
        # line ending in three blanks and End
        grid = vb.row(from_type).full_name
        fb.lines.append("Begin " + grid + " Grid0")
        if records:
            fb.lines.append('   OleObjectBlob   =   "' + frx_name + '":' + "%04X" % fb.frx.add_record(vb.row(from_type)))
        fb.lines.append("End")
        fb.names.append("Grid0")
    if rng.random() < 0.05:
        fb.lines.append("   Dim early As " + vb.row(from_type).grid_lib_name + ".Column")
    fb.lines.append(rng.choice(["End", "End", "End", "End", "END", "end"] * 4 + ["End ", " End"]))
    fb.lines.append('Attribute VB_Name = "' + name + '"')
    fb.lines.append("Attribute VB_Creatable = False")
    if modern:
        fb.lines.append("Attribute VB_GlobalNameSpace = False")
    fb.lines.extend(code_lines(rng, from_type, fb.names, True))
    if allow_bad and rng.random() < 0.1:
        fb.lines.append("Dim last As " + vb.row(from_type).grid_lib_name + ".Column _")
        fb.bad = True
    if rng.random() < 0.04:
        # the file ends inside a grid block
        begins = [i for i, l in enumerate(fb.lines)
                  if vb.contains_ci(l, vb.row(from_type).full_name) and vb.contains_ci(l, "begin")]
        if begins:
            cut = rng.choice(begins) + rng.randrange(1, 4)
            fb.lines = fb.lines[:cut]
            if rng.random() < 0.3:
                fb.lines.append('      Tag = "x" _')
    if rng.random() < 0.02:
        fb.lines = []
    if fb.frx.tail is not None:
        at = "%04X" % fb.frx.finish(vb.row(from_type))
        fb.lines = [l.replace(TAIL, at) for l in fb.lines]
    data = encode(rng, fb.lines)
    return data, bytes(fb.frx.data)


def make_module(rng, name, from_type, cls, allow_bad):
    lines = []
    if cls:
        lines += ["VERSION 1.0 CLASS", "BEGIN", "  MultiUse = -1  'True", "END"]
    lines.append('Attribute VB_Name = "' + name + '"')
    lines.extend(code_lines(rng, from_type, [], False))
    bad_tail = allow_bad and rng.random() < 0.3
    if bad_tail:
        lines.append("Public Sub Last(g As " + rng.choice(LIB_NAMES) + ".Column) _")
    if rng.random() < 0.05 and not bad_tail:
        lines = []  # an empty module
    return encode(rng, lines, malformed_tail=False)


def choose_types(rng):
    r = rng.random()
    if r < 0.4:
        return rng.choice([1, 2, 3, 6]), 5
    if r < 0.55:
        return rng.choice([(6, 5), (5, 6), (4, 2), (2, 4)])
    if r < 0.58:
        t = rng.randrange(1, 7)
        return t, t
    f = rng.randrange(1, 7)
    t = rng.choice([x for x in range(1, 7) if x != f])
    return f, t


def modern_component(rng, i, kind, counts, ctx):
    """Writes one form-like component of a modern project; returns its
    project line."""
    key, cls, ext, side_ext = kind
    counts[key] = counts.get(key, 0) + 1
    name = "%s%d" % (key, counts[key])
    base = rng.choice(ACCENTED_NAMES) + str(counts[key]) if rng.random() < 0.35 else name
    in_sub = ctx["use_sub"] and rng.random() < 0.4
    named = base + side_ext if rng.random() < 0.9 else latin_upper(base + side_ext)
    has_side = rng.random() < 0.85
    # saved without a side file, a component names no record; now and then
    # one keeps its record lines all the same
    records = has_side or rng.random() < 0.25
    frm, frx = make_form(rng, name, named, ctx["from"], ctx["to"], i == ctx["bad"], True, cls,
                         records)
    if not has_side and records and i != ctx["bad"]:
        frm = re.sub(rb'(?i)' + re.escape(side_ext.encode()) + rb'":', side_ext.encode() + b'"=', frm)
    if not has_side and ctx["malformed"] and rng.random() < 0.3:
        frm += b"Dim nul\0\r\n"  # converted, so the NUL byte fails it
    file_disk = on_disk(rng, base + ext)
    folder = os.path.join(ctx["dest"], ctx["sub_disk"]) if in_sub else ctx["dest"]
    write(os.path.join(folder, file_disk), frm)
    if has_side:
        side = side_ext.upper() if rng.random() < 0.15 else side_ext
        write(os.path.join(folder, file_disk[:-len(ext)] + side.encode()), frx)
    listed = (ctx["sub_listed"] + "\\" if in_sub else "") + base + ext
    if rng.random() < 0.15:
        raw = file_disk == (base + ext).encode("latin-1")
        listed = rng.choice([ascii_lower, ascii_upper] if raw else [latin_lower, latin_upper])(listed)
    return vary_case(rng, key + "=", 0.1) + listed


def generate(seed, root):
    rng = random.Random(seed)
    new = modern(seed)
    # Now and then the project sits one folder down, with modules shared
    # from a sibling folder ("..\\Shared\\Util.bas").
    nested = rng.random() < 0.2
    dest = os.path.join(root, "Proj") if nested else root
    os.makedirs(dest, exist_ok=True)
    if nested:
        os.makedirs(os.path.join(root, "Shared"), exist_ok=True)
    from_type, to_type = choose_types(rng)
    malformed = rng.random() < 0.15
    project_name = rng.choice(["Project1", "Grids", "SALES", "inventory"])
    use_sub = rng.random() < 0.3
    sub_listed, sub_disk = "Sub", b"Sub"
    if new and use_sub and rng.random() < 0.4:
        # a folder with Windows-1252 letters, on disk under its UTF-8 name
        sub_listed = rng.choice(ACCENTED_FOLDERS)
        sub_disk = on_disk(rng, sub_listed, raw_allowed=False)
    if use_sub:
        os.makedirs(os.path.join(os.fsencode(dest), sub_disk), exist_ok=True)

    proj_lines = []
    refs = []
    for r in rng.sample(range(1, 7), rng.randrange(0, 4)):
        refs.append(r)
    if rng.random() < 0.7 and from_type not in refs:
        refs.append(from_type)
    if rng.random() < 0.1:
        refs.append(from_type)
    rng.shuffle(refs)
    if new:
        r = rng.random()
        if r < 0.15:
            # only the target, as after an earlier run: that line stays
            refs = [to_type] * rng.choice([1, 1, 2])
        elif r < 0.25:
            # another library beside the target, but not the source
            refs = [rng.choice([p for p in range(1, 7) if p not in (from_type, to_type)]), to_type]
            rng.shuffle(refs)

    def ref_line(position):
        line = vb.object_line_for(position)
        if rng.random() < 0.1:
            line = "object={" + line[8:]
        if rng.random() < 0.1:
            line = line[:8] + line[8:44].lower() + line[44:]
        if rng.random() < 0.1:
            line = line.replace(vb.row(position).version, "#9.9#0")
        if rng.random() < 0.03:
            line = "Object = {" + line[8:]
        if rng.random() < 0.03:
            line = line[:44]
        return line

    entries = []
    nforms = rng.randrange(0, 4)
    bad_target = rng.randrange(-1, nforms + 3) if malformed else -2
    components = [FORM_KINDS[0]] * nforms
    if new:
        components += [rng.choice(FORM_KINDS[1:]) for _ in range(rng.randrange(0, 3))]
        rng.shuffle(components)
    ctx = {"from": from_type, "to": to_type, "bad": bad_target, "malformed": malformed,
           "use_sub": use_sub, "sub_listed": sub_listed, "sub_disk": sub_disk,
           "dest": os.fsencode(dest)}
    counts = {}
    for i, kind in enumerate(components):
        if new:
            entries.append(modern_component(rng, i, kind, counts, ctx))
            continue
        name = "Form%d" % (i + 1)
        folder = "Sub" if use_sub and rng.random() < 0.4 else ""
        file_name = name + ".frm"
        frx_file = name + ".frx"
        if rng.random() < 0.15:
            frx_file = name.upper() + ".FRX"
        named = name + ".frx" if rng.random() < 0.9 else name.upper() + ".FRX"
        frm, frx = make_form(rng, name, named, from_type, to_type, i == bad_target)
        has_frx = rng.random() < 0.9
        if not has_frx and i == bad_target:
            pass  # a form that names its .frx, which is missing
        elif not has_frx:
            frm = re.sub(rb'(?i)\.frx":', b'.frx"=', frm)
            if malformed and rng.random() < 0.3:
                frm += b"Dim nul\0\r\n"  # a form without its .frx is converted: this fails it
        path_dir = os.path.join(dest, folder)
        with open(os.path.join(path_dir, file_name), "wb") as f:
            f.write(frm)
        if has_frx:
            with open(os.path.join(path_dir, frx_file), "wb") as f:
                f.write(frx)
        listed = (folder + "\\" if folder else "") + file_name
        if rng.random() < 0.1:
            listed = listed.upper() if rng.random() < 0.5 else listed.lower()
        entries.append(vary_case(rng, "Form=", 0.1) + listed)

    nmods = rng.randrange(0, 4)
    for i in range(nmods):
        cls = rng.random() < 0.35
        name = ("Class%d" if cls else "Module%d") % (i + 1)
        file_name = name + (".cls" if cls else ".bas")
        if new and rng.random() < 0.35:
            file_name = rng.choice(ACCENTED_NAMES) + str(i + 1) + file_name[-4:]
        folder = "Sub" if use_sub and rng.random() < 0.4 else ""
        folder_disk = sub_disk if folder else b""
        if folder:
            folder = sub_listed
        if nested and rng.random() < 0.5:
            folder = os.path.join("..", "Shared")
            folder_disk = os.fsencode(folder)
        data = make_module(rng, name, from_type, cls, nforms + i == bad_target)
        file_disk = on_disk(rng, file_name) if new else file_name.encode("latin-1")
        write(os.path.join(os.fsencode(dest), folder_disk, file_disk), data)
        if new and file_disk != file_name.encode("latin-1") and rng.random() < 0.1:
            # the name as written is there too, and is the one meant
            write(os.path.join(os.fsencode(dest), folder_disk, file_name.encode("latin-1")),
                  make_module(rng, name, from_type, cls, False))
        listed = (folder.replace(os.sep, "\\") + "\\" if folder else "") + file_name
        if rng.random() < 0.1:
            raw = file_disk == file_name.encode("latin-1")
            listed = ascii_lower(listed) if raw else latin_lower(listed)
        key = vary_case(rng, "Class=" if cls else "Module=", 0.1)
        if rng.random() < 0.03:
            key = key[:-1] + " ="  # not a module line: the file is left alone
        entries.append(key + name + rng.choice(["; ", ";", ";  ", " ; "]) + listed +
                       rng.choice(["", "", " "]))

    if entries and rng.random() < 0.05:
        entries.append(rng.choice([e for e in entries if not e.lower().startswith("form=")] or [""]))
    if malformed and bad_target == nforms + nmods:
        entries.append("Module=Missing; Missing.bas" if rng.random() < 0.5 else "Module=NoSemicolon")
    if new and rng.random() < 0.1:
        entries.append("Form=Lost.frm")  # missing, and no .frx: passed over
    if malformed and bad_target == nforms + nmods + 1 and entries:
        # a NUL byte in one text file
        entries.append("Module=Nul; Nul.bas")
        with open(os.path.join(dest, "Nul.bas"), "wb") as f:
            f.write(b"Attribute VB_Name = \"Nul\"\r\nDim a\0b\r\n")

    rng.shuffle(entries)
    proj_lines.extend(entries)
    for r in refs:
        proj_lines.insert(rng.randrange(0, len(proj_lines) + 1), ref_line(r))
    proj_lines.insert(0, "Reference=*\\G{00020430-0000-0000-C000-000000000046}#2.0#0#..\\STDOLE2.TLB#OLE Automation")
    if new:
        proj_lines.insert(0, "Type=Exe")
    proj_lines += ['Name="%s"' % project_name, "HelpContextID=\"0\"", "StartMode=0"]
    project_file = project_name + ".vbp"
    data = encode(rng, proj_lines)
    if malformed and rng.random() < 0.05:
        data += b"Tag=\0\r\n"
    with open(os.path.join(dest, project_file), "wb") as f:
        f.write(data)
    # some files with permissions other than the usual
    for folder, _, names in sorted(os.walk(root)):
        for name in sorted(names):
            if rng.random() < 0.1:
                os.chmod(os.path.join(folder, name), rng.choice([0o600, 0o640, 0o664, 0o755]))
    if nested:
        project_file = os.path.join("Proj", project_file)
    return {"project": project_file, "from": from_type, "to": to_type}


def main(argv):
    if len(argv) != 3:
        print("usage: generate_projects.py SEED DEST", file=sys.stderr)
        return 2
    print(json.dumps(generate(int(argv[1]), argv[2])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
