#include "support/large_project.h"

#include <string>

#include "support/frx_builder.h"

namespace vireo::testing {

std::string GridModule(int lines) {
  std::string text;
  for (int line = 0; line < lines; ++line)
    text += "Dim V" + std::to_string(line) + " As VireoCore.Column\r\n";
  return text;
}

void WriteLargeProject(const ScratchDir& project, int forms, int modules) {
  WriteLargeProject(project, "", "Big", forms, modules);
}

void WriteLargeProject(const ScratchDir& root, const std::string& folder, const std::string& name,
                       int forms, int modules, const std::vector<std::string>& shared) {
  std::string prefix = folder.empty() ? "" : folder + "/";
  std::string vbp;
  for (int i = 0; i < forms; ++i) {
    std::string form_name = "Form" + std::to_string(i);
    std::string form = "VERSION 4.00\r\nBegin VB.Form " + form_name + "\r\n";
    form += "   Begin VireoCore.VireoCtl Grid1\r\n      OleObjectBlob = \"" + form_name +
            ".frx\":0000\r\n   End\r\nEnd\r\n";
    for (int line = 0; line < 400; ++line)
      form += "Private Sub Grid1_FetchCellStyle(C As Integer, S As Object) ' " +
              std::to_string(line) + "\r\nEnd Sub\r\n";
    root.Write(prefix + form_name + ".frm", form);
    root.Write(prefix + form_name + ".frx",
               Record(GuidBytes(2, "CLSID_MsPlover") + std::string(4000, 'x'), 6));
    vbp += "Form=" + form_name + ".frm\r\n";
  }
  for (int i = 0; i < modules; ++i) {
    std::string module = "Mod" + std::to_string(i);
    root.Write(prefix + module + ".bas", GridModule(800));
    vbp += "Module=" + module + "; " + module + ".bas\r\n";
  }
  for (size_t i = 0; i < shared.size(); ++i)
    vbp += "Module=Shared" + std::to_string(i) + "; " + shared[i] + "\r\n";
  vbp += "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX\r\n";
  root.Write(prefix + name + ".vbp", vbp);
}

}  // namespace vireo::testing
