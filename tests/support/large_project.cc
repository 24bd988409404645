#include "support/large_project.h"

#include <string>

#include "support/frx_builder.h"

namespace vireo::testing {

void WriteLargeProject(const ScratchDir& project, int forms, int modules) {
  std::string vbp;
  for (int i = 0; i < forms; ++i) {
    std::string name = "Form" + std::to_string(i);
    std::string form = "VERSION 4.00\r\nBegin VB.Form " + name + "\r\n";
    form += "   Begin VireoCore.VireoCtl Grid1\r\n      OleObjectBlob = \"" + name +
            ".frx\":0000\r\n   End\r\nEnd\r\n";
    for (int line = 0; line < 400; ++line)
      form += "Private Sub Grid1_FetchCellStyle(C As Integer, S As Object) ' " +
              std::to_string(line) + "\r\nEnd Sub\r\n";
    project.Write(name + ".frm", form);
    project.Write(name + ".frx",
                  Record(GuidBytes(2, "CLSID_MsPlover") + std::string(4000, 'x'), 6));
    vbp += "Form=" + name + ".frm\r\n";
  }
  for (int i = 0; i < modules; ++i) {
    std::string name = "Mod" + std::to_string(i);
    std::string text;
    for (int line = 0; line < 800; ++line)
      text += "Dim V" + std::to_string(line) + " As VireoCore.Column\r\n";
    project.Write(name + ".bas", text);
    vbp += "Module=" + name + "; " + name + ".bas\r\n";
  }
  vbp += "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX\r\n";
  project.Write("Big.vbp", vbp);
}

}  // namespace vireo::testing
