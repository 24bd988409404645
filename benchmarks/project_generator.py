"""Generated VB4 projects for the benchmarks: forms with a grid and its .frx
record, modules with grid declarations and event procedures, and filler lines
that a conversion passes over unchanged."""
import os
import struct
import uuid

FAMILY = "-1A2C-11CF-8E41-00805F2C6A19"
VIREO40_CLSID = uuid.UUID("7D4E5B33" + FAMILY).bytes_le
OBJECT_LINE = "Object={7D4E5B34" + FAMILY + "}#4.0#0; VIRA32.OCX"
FILLER = "    ' a comment line that a conversion passes over as it is, unchanged\r\n"


def code_body(size):
    head = ("Dim S As VireoCore.StyleDisp\r\n"
            "Private Sub G_FetchCellStyle(ByVal Condition As Integer, ByVal Split As Integer, "
            "Bookmark As Variant, ByVal Col As Integer, ByVal CellStyle As VireoCore.StyleDisp)\r\n"
            "End Sub\r\n")
    return head + FILLER * max(1, (size - len(head)) // len(FILLER))


def frx(size):
    payload = bytearray(os.urandom(size - 6))
    payload[100:116] = VIREO40_CLSID
    return struct.pack("<HI", 6, len(payload)) + bytes(payload)


def generate(root, megabytes):
    files = 480
    each = megabytes * 1024 * 1024 // files
    forms = files // 3
    lines = []
    for i in range(forms):
        name = f"Form{i}"
        text = ("VERSION 4.00\r\nBegin VB.Form " + name + "\r\n"
                "   Begin VireoCore.VireoCtl G\r\n"
                f'      OleObjectBlob   =   "{name}.frx":0000\r\n'
                "   End\r\nEnd\r\n" + code_body(each))
        (root / f"{name}.frm").write_bytes(text.encode())
        (root / f"{name}.frx").write_bytes(frx(each))
        lines.append(f"Form={name}.frm")
    for i in range(files - 2 * forms):
        (root / f"Module{i}.bas").write_bytes(code_body(each).encode())
        lines.append(f"Module=Module{i}; Module{i}.bas")
    lines.append(OBJECT_LINE)
    (root / "Big.vbp").write_bytes(("\r\n".join(lines) + "\r\n").encode())


def generate_tree(root, projects, megabytes):
    """`projects` projects in folders of their own, each with a form, its
    .frx and a module; every four share a module in a common folder."""
    each = megabytes * 1024 * 1024 // (projects * 4)
    for p in range(projects):
        folder = root / "apps" / f"p{p:03d}"
        folder.mkdir(parents=True)
        common = root / "common" / f"c{p // 4:03d}"
        if not common.exists():
            common.mkdir(parents=True)
            (common / "Shared.bas").write_bytes(code_body(each).encode())
        text = ("VERSION 4.00\r\nBegin VB.Form Main\r\n   Begin VireoCore.VireoCtl G\r\n"
                '      OleObjectBlob   =   "Main.frx":0000\r\n   End\r\nEnd\r\n' + code_body(each))
        (folder / "Main.frm").write_bytes(text.encode())
        (folder / "Main.frx").write_bytes(frx(each))
        (folder / "Own.bas").write_bytes(code_body(each).encode())
        lines = ["Form=Main.frm", "Module=Own; Own.bas",
                 f"Module=Shared; ..\\..\\common\\c{p // 4:03d}\\Shared.bas", OBJECT_LINE]
        (folder / f"P{p:03d}.vbp").write_bytes(("\r\n".join(lines) + "\r\n").encode())
