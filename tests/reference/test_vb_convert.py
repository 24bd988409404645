#!/usr/bin/env python3
"""Checks of the reference converter against fixed examples, so that a
misreading shared by both converters still shows up somewhere."""

import os
import struct
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vb_convert as vb  # noqa: E402


class CatalogueTest(unittest.TestCase):
    def test_rows_and_tables(self):
        self.assertEqual([len(r.guids) for r in vb.CATALOGUE], [6, 13, 6, 12, 13, 13])
        every = [g.to_bytes() for r in vb.CATALOGUE for g in r.guids]
        self.assertEqual(len(set(every)), 63)
        for r in vb.CATALOGUE:
            self.assertEqual(r.guid("LIBID_MsPlover").to_string(), r.libid)
        self.assertEqual(vb.row(3).grid_lib_name, "VireoCoreStd")
        self.assertEqual(vb.row(4).ocx_file_name, "EVIRA32.OCX")

    def test_guid_forms(self):
        g = vb.row(5).guid("CLSID_MsPlover")
        self.assertEqual(g.to_string(), "7D4E5B22-1A2C-11CF-8E41-00805F2C6A19")
        self.assertEqual(g.to_bytes().hex(), "225b4e7d2c1acf118e4100805f2c6a19")
        neg = vb.Guid("x", -2, -1, 5, bytes(8))
        self.assertEqual(neg.to_string(), "FFFFFFFE-FFFF-0005-0000-000000000000")
        self.assertEqual(neg.to_bytes()[:4], b"\xfe\xff\xff\xff")

    def test_reference_lines(self):
        self.assertEqual(vb.object_line_for(5),
                         "Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0; VIRA5_32.OCX")
        self.assertTrue(vb.is_object_line_for("object={7d4e5b34-1a2c-11cf-8e41-00805f2c6a19}#9", 2))
        self.assertFalse(vb.is_object_line_for("Object = {7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}", 2))


class LinesTest(unittest.TestCase):
    def test_physical_lines(self):
        self.assertEqual(vb.split_lines(b""), [])
        self.assertEqual(vb.split_lines(b"a\r\nb\rc\nd"), ["a", "b", "c", "d"])
        self.assertEqual(vb.split_lines(b"a\n\r\r\n"), ["a", "", ""])
        self.assertEqual(vb.split_lines(b"\xe9\r"), ["\xe9"])

    def test_logical_lines(self):
        r = vb.LineReader(b"Dim a As _  \r\n    New X, _\r\nb\r\n'c _\r\nRem d _\r\n  Rem e _\r\nf")
        self.assertEqual(vb.read_logical_line(r)[0], "Dim a As New X, b")
        self.assertEqual(vb.read_logical_line(r), ("'c _", ["'c _"]))
        self.assertEqual(vb.read_logical_line(r), ("Rem d _", ["Rem d _"]))
        self.assertEqual(vb.read_logical_line(r)[0], "  Rem e f")
        self.assertRaises(vb.ConversionError, vb.read_logical_line, vb.LineReader(b"x _"))

    def test_case_folds_ascii_only(self):
        self.assertTrue(vb.contains_ci("SUB GRID1_X", "Sub Grid1_x"))
        self.assertFalse(vb.contains_ci("Sub Gridé", "Sub GridÉ"))


class CodeRulesTest(unittest.TestCase):
    def test_declarations(self):
        line, found = vb.rewrite_declarations(
            "Dim a as vireocore.X, b As New VireoCore.Y, c As VireoCore45.Z", 2, 5)
        self.assertTrue(found)
        self.assertEqual(line, "Dim a As VireoCore45.X, b As New VireoCore45.Y, c As VireoCore45.Z")
        # same library: found, and the catalogue's case comes back
        self.assertEqual(vb.rewrite_declarations("x AS vireocore.Y", 4, 2), ("x As VireoCore.Y", True))
        self.assertEqual(vb.rewrite_declarations("  Remark As VireoCore.Y", 2, 5)[1], False)
        self.assertEqual(vb.rewrite_declarations("\t' As VireoCore.Y", 2, 5)[1], True)

    def test_event_lines(self):
        names = ["Grid", "Grid1"]
        self.assertTrue(vb.is_grid_event_procedure("Private Sub grid1_FetchCellStyle(", names, []))
        self.assertFalse(vb.is_grid_event_procedure("Sub Grid12_X()", ["Grid1"], []))
        self.assertFalse(vb.is_grid_event_procedure("Sub D_FirstRowChange()", [], ["D"]))
        line, changed = vb.rewrite_event_line("Sub Grid1_FirstRowChange()", 2, 5, names)
        self.assertTrue(changed)
        self.assertEqual(line, "Sub Grid1_FirstRowChange(ByVal SplitIndex as Integer)\r\n"
                               "If SplitIndex <> Grid1.Split Then Exit Sub")
        self.assertEqual(vb.rewrite_event_line("Sub G_FetchCellStyle(a As Object, b As Object)",
                                               2, 5, ["G"])[0],
                         "Sub G_FetchCellStyle(a As VireoCore45.StyleDisp, b As Object)")
        self.assertEqual(vb.rewrite_event_line("Sub G_FetchCellStyle(a As Variant)", 2, 5, ["G"]),
                         ("Sub G_FetchCellStyle(a As Variant)", False))

    def test_code_file(self):
        result, out = vb.convert_code_file(b"a _\r\n As VireoCore.X\nb", 2, 5)
        self.assertEqual(result, 1)
        self.assertEqual(out, b"'*** ORYX Migration Utility Code Change ***\r\n'a _\r\n"
                              b"' As VireoCore.X\r\na As VireoCore45.X\r\nb\r\n")
        self.assertEqual(vb.convert_code_file(b"", 2, 5), (0, b""))


class BinaryTest(unittest.TestCase):
    def test_offsets(self):
        self.assertEqual(vb.frx_offset('OleObjectBlob = "F.frx":02A4'), 676)
        self.assertEqual(vb.frx_offset("a:b: 0010 "), 16)
        self.assertEqual(vb.frx_offset("no colon"), 0)
        for bad in ("x:", "x:123456789", "x:80000000", "x:1g", "x:0\t"):
            self.assertRaises(vb.ConversionError, vb.frx_offset, bad)

    def test_record(self):
        src = vb.row(6).guid("CLSID_VireoDrop").to_bytes()
        payload = b"\x01" + src + src + b"\x02"
        frx = bytearray(b"hd" + struct.pack("<hi", 8, len(payload)) + src[:2] + payload + src)
        self.assertEqual(vb.convert_ole_object_blob(frx, 2, 6, 5), 1)
        dst = vb.row(5).guid("CLSID_VireoDrop").to_bytes()
        self.assertEqual(bytes(frx), b"hd" + struct.pack("<hi", 8, len(payload)) + src[:2]
                         + b"\x01" + dst + dst + b"\x02" + src)
        # the target lacks the name: failure, nothing written
        frx = bytearray(struct.pack("<hi", 6, 16) + src)
        self.assertEqual(vb.convert_ole_object_blob(frx, 0, 6, 1), -1)
        self.assertEqual(bytes(frx), struct.pack("<hi", 6, 16) + src)
        for h, n, size in ((5, 16, 22), (6, 0, 22), (6, 17, 22)):
            self.assertEqual(vb.convert_ole_object_blob(
                bytearray(struct.pack("<hi", h, n) + bytes(size - 6)), 0, 2, 5), -1)


if __name__ == "__main__":
    unittest.main()
