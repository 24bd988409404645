#!/usr/bin/env python3
"""Writes the projects that the Windows and the Linux builds both convert, to
show that they give the same bytes. Each project stresses something that
differs between the platforms: path separators and case in the project
file, line ends, drive-free relative folders, a failing file.

Usage: make_projects.py FOLDER   (one sub-folder per project, and a file
"from" in each that names the grid type to convert from)
"""
import struct
import sys
import uuid
from pathlib import Path

FAMILY_A = "-1A2C-11CF-8E41-00805F2C6A19"
FAMILY_B = "-5C17-11D0-A3B8-0060974E21D5"
PLOVER = {"CLSID_MsPlover": "7D4E5B13", "LIBID_MsPlover": "7D4E5B14",
          "IID_DPlColumns": "7D4E5B19", "IID_DVrSplits": "7D4E5B1C"}
EVAL = {"CLSID_MsPlover": "3F6A907A", "LIBID_MsPlover": "3F6A907B",
        "IID_DVrStyle": "3F6A908A", "CLSID_VireoDrop": "3F6A9093"}


def guid(table, family, name):
    return uuid.UUID(table[name] + family).bytes_le


def record(payload, header_length=8):
    return struct.pack("<hi", header_length, len(payload)) + b"\0" * (header_length - 6) + payload


def pad_to(data, size):
    assert len(data) <= size
    return data + b"\0" * (size - len(data))


def lines(text, end=b"\r\n", last_end=True):
    body = end.join(line.encode("latin-1") for line in text.strip("\n").split("\n"))
    return body + (end if last_end else b"")


def write(folder, name, data):
    path = Path(folder, name)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def form(name, controls, code):
    blocks = ""
    for kind, control, blob in controls:
        blocks += f"""   Begin {kind} {control} 
      Height          =   1200
      Left            =   120
      OleObjectBlob   =   "{blob}
      TabIndex        =   0
      Top             =   120
      Width           =   2400
   End
"""
    return f"""VERSION 4.00
Begin VB.Form {name} 
   Caption         =   "{name}"
   ClientHeight    =   3000
   ClientWidth     =   4500
{blocks}End
Attribute VB_Name = "{name}"
Option Explicit
{code}"""


def plover(folder):
    # A .mak project whose forms lie in a sub-folder named with a backslash
    # and in another case than on disk; LF line ends throughout.
    p = lambda n: guid(PLOVER, FAMILY_A, n)
    write(folder, "Orders.MAK", lines("""Form=FORMS\\orders.frm
Module=Helpers; forms\\Helpers.BAS
Object={7D4E5B14-1A2C-11CF-8E41-00805F2C6A19}#1.0#0; PLOVER32.OCX
Name="Orders"
""", b"\n"))
    write(folder, "Forms/Orders.frm", lines(form("frmOrders", [
        ("MSPlover.Plover", "grdOrders", 'Orders.frx":0000'),
        ("MSPlover.Plover", "grdLines", 'Orders.frx":0040')], """
Private Sub grdOrders_FetchCellStyle(ByVal Condition As Integer, ByVal Split As Integer, Bookmark As Variant, ByVal Col As Integer, ByVal CellStyle As StyleDisp)
    CellStyle.Font.Bold = True
End Sub

Private Sub grdLines_LeftColChange()
    Debug.Print "moved"
End Sub
"""), b"\n"))
    write(folder, "Forms/Orders.frx",
          pad_to(record(p("CLSID_MsPlover") + b"\x00\xff" + p("LIBID_MsPlover")), 0x40) +
          record(b"\x09" + p("IID_DVrSplits") + p("IID_DPlColumns")))
    write(folder, "Forms/Helpers.bas", lines("""Attribute VB_Name = "Helpers"
Public Sub Paint(ByVal Grid As MSPlover.Plover, _
                 ByVal Row As Long)
    Grid.Row = Row
End Sub
""", b"\n"))
    write(folder, "from", b"1\n")


def evaluation(folder):
    # The evaluation grid with a drop-down; a class with CR-only line ends and
    # a last line without an end.
    e = lambda n: guid(EVAL, FAMILY_B, n)
    write(folder, "Trial.vbp", lines("""Form=Trial.frm
Class=Cache; Cache.cls
Object={3F6A907B-5C17-11D0-A3B8-0060974E21D5}#4.5#0; EVIR5_32.OCX
Name="Trial"
"""))
    write(folder, "Trial.frm", lines(form("frmTrial", [
        ("VireoCore45.VireoDropDown", "ddnKind", 'Trial.frx":0000'),
        ("VireoCore45.VireoCtl", "grdTrial", 'Trial.frx":0030')], """
Private Sub ddnKind_UnboundReadData(ByVal RowBuf As RowBuffer, StartLocation As Variant, ByVal ReadPriorRows As Boolean)
    RowBuf.RowCount = 0
End Sub
""")))
    write(folder, "Trial.frx",
          pad_to(record(b"dd" + e("CLSID_VireoDrop") + e("LIBID_MsPlover")), 0x30) +
          record(e("CLSID_MsPlover") + b"\r\n" + e("IID_DVrStyle")))
    write(folder, "Cache.cls", lines("""VERSION 1.0 CLASS
Attribute VB_Name = "Cache"
Private Styles As New Collection
Public Function Style(ByVal Name As String) As VireoCore45.StyleDisp
    Set Style = Styles(Name)
End Function""", b"\r", last_end=False))
    write(folder, "from", b"6\n")


def nothing(folder):
    # No grid anywhere: both builds leave every byte alone.
    write(folder, "Plain.vbp", lines("""Form=Plain.frm
Module=Util; Util.bas
Name="Plain"
"""))
    write(folder, "Plain.frm", lines(form("frmPlain", [], "Private Sub Form_Load()\nEnd Sub")))
    write(folder, "Util.bas", lines('Attribute VB_Name = "Util"\nPublic X As Integer'))
    write(folder, "from", b"2\n")


def broken(folder):
    # The second form's grid record lies past the end of its .frx: the run
    # fails and nothing may change, the converted first form included.
    p = lambda n: guid(PLOVER, FAMILY_A, n)
    write(folder, "Broken.vbp", lines("""Form=Good.frm
Form=Bad.frm
Object={7D4E5B14-1A2C-11CF-8E41-00805F2C6A19}#1.0#0; PLOVER32.OCX
"""))
    write(folder, "Good.frm", lines(form("frmGood", [
        ("MSPlover.Plover", "grdGood", 'Good.frx":0000')], "")))
    write(folder, "Good.frx", record(p("CLSID_MsPlover")))
    write(folder, "Bad.frm", lines(form("frmBad", [
        ("MSPlover.Plover", "grdBad", 'Bad.frx":0100')], "")))
    write(folder, "Bad.frx", record(p("CLSID_MsPlover")))
    write(folder, "from", b"1\n")


def main(folder):
    for make in (plover, evaluation, nothing, broken):
        make(Path(folder, make.__name__))


if __name__ == "__main__":
    main(sys.argv[1])
