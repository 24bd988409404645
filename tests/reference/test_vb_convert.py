#!/usr/bin/env python3
"""Checks of the reference converter against fixed examples, so that a
misreading shared by both converters still shows up somewhere."""

import os
import shutil
import struct
import sys
import tempfile
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


class ConvertedOnceTest(unittest.TestCase):
    """One run leaves nothing for a second run to change."""

    FORM = (b"Begin VB.Form F\r\n   Begin VireoCore.VireoCtl G\r\n   End\r\nEnd\r\n"
            b"Sub G_FetchCellStyle(S As Object, C As VireoCore.Column)\r\n")

    def test_event_header_loses_the_old_library_under_one_marker(self):
        result, once, _ = vb.convert_form_file(self.FORM, None, 2, 5)
        self.assertEqual(result, 1)
        self.assertEqual(once.count(vb.MARKER.encode()), 1)
        self.assertIn(b"\r\nSub G_FetchCellStyle(S As VireoCore45.StyleDisp, "
                      b"C As VireoCore45.Column)\r\n", once)
        self.assertEqual(vb.convert_form_file(once, None, 2, 5), (0, once, None))

    def test_a_line_rewritten_to_its_own_text_is_no_change(self):
        form = (b"Begin VB.Form F\r\n   Begin VireoCore45.VireoCtl G\r\n   End\r\nEnd\r\n"
                b"Sub G_FetchCellStyle(S As VireoCore45.StyleDisp)\r\nDim x As VireoCore45.X\r\n")
        self.assertEqual(vb.convert_form_file(form, None, 6, 5), (0, form, None))
        self.assertEqual(vb.convert_code_file(b"Dim x As VireoCore45.X\r\n", 6, 5),
                         (0, b"Dim x As VireoCore45.X\r\n"))
        # a spelling that differs is a change
        self.assertEqual(vb.convert_code_file(b"Dim x As vireocore45.X\r\n", 6, 5)[0], 1)


class TargetInUseTest(unittest.TestCase):
    def test_what_counts_as_speaking_of_the_target(self):
        for line, uses in (("Dim a As VireoCore45.Column", True),
                           ("Set b = New vireocore45.Split", True),
                           ("Dim a AsVireoCore45.Column", False),
                           ("Dim a As MyVireoCore45.Column", False),
                           ("' Dim a As VireoCore45.Column", False),
                           ("   Begin VireoCore45.VireoCtl G", True),
                           ("Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0; VIRA5_32.OCX", True)):
            self.assertEqual(vb.uses_target(line.encode("latin-1"), 2, 5), uses, line)
        # between types of one name, the name tells nothing
        self.assertFalse(vb.uses_target(b"Dim a As VireoCore45.Column\r\n", 6, 5))


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


def lb_record(payload, extents=bytes(16), n=None):
    """An "LB" record: the two letters, u16 13, u32 N, extents, payload."""
    return b"LB" + struct.pack("<HI", 13, len(payload) if n is None else n) + extents + payload


class LbRecordTest(unittest.TestCase):
    SRC = vb.row(2).guid("CLSID_MsPlover").to_bytes()
    DST = vb.row(5).guid("CLSID_MsPlover").to_bytes()

    def test_payload_converted_header_and_extents_kept(self):
        # the extents hold a source GUID too: only payload bytes change
        rec = lb_record(b"\x05" + self.SRC, extents=self.SRC)
        frx = bytearray(b"\x00\x01" + rec + b"tail")
        self.assertEqual(vb.convert_ole_object_blob(frx, 2, 2, 5), 1)
        self.assertEqual(bytes(frx), b"\x00\x01" + lb_record(b"\x05" + self.DST, extents=self.SRC)
                         + b"tail")

    def test_bounds(self):
        # a record ending at the last byte of the file is whole
        frx = bytearray(b"xyz" + lb_record(self.SRC))
        self.assertEqual(vb.convert_ole_object_blob(frx, 3, 2, 5), 1)
        self.assertEqual(bytes(frx), b"xyz" + lb_record(self.DST))
        for bad in (lb_record(self.SRC, n=17),   # one byte past the end
                    lb_record(b"", n=0),         # empty payload
                    b"LB\x0d\x00\x10\x00",       # N cut short
                    lb_record(self.SRC)[:23]):   # extents cut short
            frx = bytearray(bad)
            self.assertEqual(vb.convert_ole_object_blob(frx, 0, 2, 5), -1, bad)
            self.assertEqual(bytes(frx), bad)

    def test_only_exact_letters_select_the_layout(self):
        # "Lb" is a header length of 0x624C, far past this file's end
        rec = bytearray(b"Lb" + lb_record(self.SRC)[2:])
        self.assertEqual(vb.convert_ole_object_blob(rec, 0, 2, 5), -1)
        # and a short header length with "LB" in its payload is the old layout
        frx = bytearray(struct.pack("<hi", 6, 18) + b"LB" + self.SRC)
        self.assertEqual(vb.convert_ole_object_blob(frx, 0, 2, 5), 1)
        self.assertEqual(bytes(frx), struct.pack("<hi", 6, 18) + b"LB" + self.DST)


def form(*lines):
    return "".join(l + "\r\n" for l in lines).encode("latin-1")


REF = {p: 'Object = "{%s}#4.0#0"; "X%d.OCX"' % (vb.row(p).libid, p) for p in range(1, 7)}
NEW5 = 'Object = "{7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0"; "VIRA5_32.OCX"'
BODY = ("Begin VB.Form F", "End", 'Attribute VB_Name = "F"')


class FormHeaderTest(unittest.TestCase):
    def convert(self, *head):
        result, out, _ = vb.convert_form_file(form(*(head + BODY)), b"", 2, 5)
        return result, vb.split_lines(out)[:-len(BODY)]

    def test_source_and_target_lines(self):
        self.assertEqual(vb.form_object_line_for(5), NEW5)
        self.assertEqual(self.convert("VERSION 5.00", REF[1], REF[2], REF[3]),
                         (1, ["VERSION 5.00", REF[1], NEW5, REF[3]]))
        for head in ((REF[5], REF[2]), (REF[2], REF[5]), (REF[5], REF[2], REF[5])):
            self.assertEqual(self.convert(*head), (1, [NEW5]))
        # a second source line stays
        self.assertEqual(self.convert(REF[2], REF[2]), (1, [NEW5, REF[2]]))
        # no source line: the target line stays and nothing changed
        self.assertEqual(self.convert("VERSION 5.00", REF[5], REF[1]),
                         (0, ["VERSION 5.00", REF[5], REF[1]]))

    def test_spelling(self):
        lower = REF[2].lower()
        self.assertEqual(self.convert(lower, REF[5].lower()), (1, [NEW5]))
        for other in ('Object="{' + REF[2][11:], "Object  = " + REF[2][9:], " " + REF[2],
                      REF[2][:47] + " #4.0#0", "Object = {" + REF[2][11:]):
            self.assertEqual(self.convert(other, REF[5]), (0, [other, REF[5]]), other)

    def test_only_before_the_first_begin(self):
        # "  begin" with blanks before it ends the header; the Begin line of
        # a grid is not needed for that
        src = form("VERSION 5.00", "  begin VB.Form F", REF[2], "End", REF[2])
        self.assertEqual(vb.convert_form_file(src, b"", 2, 5), (0, src, b""))
        src = form(REF[5], "\tBegin", REF[2], "Begin VB.Form F", "End")
        self.assertEqual(vb.split_lines(vb.convert_form_file(src, b"", 2, 5)[1])[:3],
                         ["\tBegin", NEW5, "Begin VB.Form F"])


class NoSideFileTest(unittest.TestCase):
    def test_code_and_blocks_without_a_side_file(self):
        src = form("Begin VB.UserControl U", "   Begin VireoCore.VireoCtl G", "      Height = 1",
                   "   End", "End", "Dim c As VireoCore.Column")
        result, out, side = vb.convert_form_file(src, None, 2, 5)
        self.assertEqual((result, side), (1, None))
        self.assertEqual(vb.split_lines(out)[1], "   Begin VireoCore45.VireoCtl G")
        self.assertEqual(vb.split_lines(out)[-1], "Dim c As VireoCore45.Column")
        blob = src.replace(b"Height = 1", b'OleObjectBlob = "U.ctx"=0000')
        self.assertEqual(vb.convert_form_file(blob, None, 2, 5), (-1, None, None))
        # a record line of some other control is not read
        other = blob.replace(b"VireoCore.VireoCtl", b"VB.TextBox")
        self.assertEqual(vb.convert_form_file(other, None, 2, 5)[0], 1)


class ProjectFileTest(unittest.TestCase):
    P = {p: vb.object_line_for(p) for p in range(1, 7)}

    def test_scan(self):
        forms, modules = vb.scan_project_file(
            b"Form=a.frm\r\nusercontrol= b.ctl \r\nModule=M; m.bas\r\nUserDocument=c.dob\r\n"
            b"PROPERTYPAGE=d.pag\r\nUserControl =x.ctl\r\nDesigner=e.dsr\r\n")
        self.assertEqual(forms, [("a.frm", ".frx"), ("b.ctl", ".ctx"), ("c.dob", ".dox"),
                                 ("d.pag", ".pgx")])
        self.assertEqual(modules, ["m.bas"])

    def test_target_line_never_dropped_alone(self):
        p = self.P
        data = vb.join_lines(["Type=Exe", p[5], p[1], p[5]])
        self.assertEqual(vb.rewrite_project_file(data, 2, 5), (0, data))
        self.assertEqual(vb.rewrite_project_file(vb.join_lines([p[5], p[2], p[2]]), 2, 5),
                         (1, vb.join_lines([p[5], p[2]])))
        self.assertEqual(vb.referenced_rows(data), {1, 5})


class NamesOnDiskTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp().encode()
        self.addCleanup(shutil.rmtree, self.dir)

    def touch(self, *names):
        for name in names:
            path = os.path.join(self.dir, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "wb").close()

    def found(self, listed, codepage=1252):
        return os.path.relpath(vb.resolve(self.dir, listed, codepage), self.dir)

    def test_utf8_spelling(self):
        self.touch("Fé.bas".encode(), "fé.bas".encode(), "Dossier €/x.bas".encode(),
                   "\x81\x9d.bas".encode())
        self.assertEqual(self.found(b"F\xe9.bas"), "Fé.bas".encode())
        self.assertEqual(self.found(b"f\xe9.bas"), "fé.bas".encode())
        self.assertEqual(self.found(b"dossier \x80\\X.BAS"), "Dossier €/x.bas".encode())
        # the bytes Windows-1252 leaves undefined are their own code points
        self.assertEqual(self.found(b"\x81\x9d.bas"), "\x81\x9d.bas".encode())

    def test_as_written_first(self):
        self.touch(b"F\xe9.bas", "Fé.bas".encode(), "fé.bas".encode())
        self.assertEqual(self.found(b"F\xe9.bas"), b"F\xe9.bas")
        self.assertEqual(self.found(b"f\xe9.BAS"), b"F\xe9.bas")  # ASCII case, as written
        # the first in byte order; the raw entry is not UTF-8 and never matches
        self.assertEqual(self.found(b"f\xc9.bas"), "Fé.bas".encode())

    def test_case_of_latin1_letters(self):
        self.touch("été/Ñu.bas".encode(), "šÿ.bas".encode(), "×.bas".encode())
        self.assertEqual(self.found(b"\xc9T\xc9\\\xf1U.BAS"), "été/Ñu.bas".encode())
        # Š/š, Ÿ/ÿ and ×/÷ are not folded
        for listed in (b"\x8a\xff.bas", b"\x9a\x9f.bas", b"\xf7.bas"):
            self.assertEqual(self.found(listed), listed)

    def test_other_code_page(self):
        self.touch("Пример.bas".encode())
        self.assertEqual(self.found(b"\xcf\xf0\xe8\xec\xe5\xf0.bas", 1251), "Пример.bas".encode())
        self.assertEqual(self.found(b"\xcf\xf0\xe8\xec\xe5\xf0.bas"), b"\xcf\xf0\xe8\xec\xe5\xf0.bas")
        self.assertEqual(vb.convert_project(os.path.join(self.dir, b"none.vbp"), 2, 5,
                                            codepage=932), 2)


class ProjectOnDiskTest(unittest.TestCase):
    OLD = vb.object_line_for(2)

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def run_project(self, *lines):
        self.write("P.vbp", vb.join_lines(list(lines)))
        return vb.convert_project(os.path.join(self.dir, "P.vbp"), 2, 5)

    def test_form_like_components(self):
        src, dst = LbRecordTest.SRC, LbRecordTest.DST
        for name, side in (("U.ctl", "U.CTX"), ("D.dob", "D.dox"), ("G.pag", "G.pgx")):
            self.write(name, form(REF[2], "Begin VB.UserControl U",
                                  "   Begin VireoCore.VireoCtl G",
                                  '      OleObjectBlob = "%s":0000' % side, "   End", "End"))
            self.write(side, lb_record(src))
        self.write("Plain.bas", b"Dim a\nDim b\n")
        self.assertEqual(self.run_project(self.OLD, "UserControl=U.ctl", "Module=M; Plain.bas",
                                          "UserDocument=D.dob", "PropertyPage=G.pag"), 0)
        for name, side in (("U.ctl", "U.CTX"), ("D.dob", "D.dox"), ("G.pag", "G.pgx")):
            self.assertEqual(self.read(side), lb_record(dst))
            self.assertEqual(vb.split_lines(self.read(name))[0], NEW5)
        self.assertEqual(self.read("Plain.bas"), b"Dim a\nDim b\n")  # not written

    def test_forms_without_side_file(self):
        self.write("A.frm", form("Begin VB.Form A", "End", "Dim c As VireoCore.Column"))
        self.assertEqual(self.run_project(self.OLD, "Form=A.frm", "Form=Gone.frm"), 0)
        self.assertEqual(vb.split_lines(self.read("A.frm"))[-1], "Dim c As VireoCore45.Column")
        self.assertEqual(sorted(os.listdir(self.dir)), ["A.frm", "P.vbp"])
        # a grid record with no side file to read it from fails the run
        bad = form("Begin VB.Form B", "   Begin VireoCore.VireoCtl G",
                   '      OleObjectBlob   =   "B.frx"', "   End", "End")
        self.write("B.frm", bad)
        self.assertEqual(self.run_project(self.OLD, "Form=B.frm"), 1)
        # a text that names its missing side file fails the run first
        self.write("C.ctl", form("Begin VB.UserControl C", '   Picture = "c.CTX":0000', "End"))
        self.assertEqual(self.run_project(self.OLD, "Form=B.frm", "UserControl=C.ctl"), 1)
        self.write("C.ctl", form("Begin VB.UserControl C", '   Picture = "c.frx":0000', "End",
                                 "Dim c As VireoCore.Column"))
        self.assertEqual(self.run_project(self.OLD, "UserControl=C.ctl"), 0)
        self.assertEqual(self.read("B.frm"), bad)

    def test_converted_already(self):
        old, new = vb.object_line_for(2), vb.object_line_for(5)
        module = b"Dim c As VireoCore.Column\r\n"
        self.write("M.bas", module)
        project = os.path.join(self.dir, "P.vbp")
        # a source the project does not name, beside an old library it does
        # name, with no record of it: refused, nothing written
        plover = vb.join_lines([vb.object_line_for(1), new, "Module=M; M.bas"])
        self.assertEqual(self.run_project(vb.object_line_for(1), new, "Module=M; M.bas"), 2)
        self.assertEqual((self.read("P.vbp"), self.read("M.bas")), (plover, module))
        # the source named on the command line: converted, the target line kept
        self.assertEqual(self.run_project(new, "Module=M; M.bas"), 0)
        self.assertEqual(self.read("P.vbp"), vb.join_lines([new, "Module=M; M.bas"]))
        self.assertEqual(self.read("M.bas").splitlines()[-1], b"Dim c As VireoCore45.Column")
        # the source told from the project: only the target there means done
        for refs, status in (([new, new.lower()], 3), ([], 2), ([old, vb.object_line_for(3)], 2),
                             ([new, old.lower()], 0)):
            self.write("M.bas", module)
            self.write("P.vbp", vb.join_lines(refs + ["Module=M; M.bas"]))
            self.assertEqual(vb.convert_project(project, None, 5), status, refs)
            self.assertEqual(self.read("M.bas") == module, status != 0)


if __name__ == "__main__":
    unittest.main()
