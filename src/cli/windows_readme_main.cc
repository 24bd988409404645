// vireo-windows-readme TEMPLATE OUTPUT: writes the Windows README.txt, the
// template with its "{help}" line replaced by what vireo-migrate.exe --help
// and each command's --help say, in Windows line ends. Built on Linux for
// the Windows package, so that the README and the help cannot drift apart.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/app.h"

namespace {

std::string Indented(const std::string& text) {
  std::string indented;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    indented += line.empty() ? "\n" : "    " + line + "\n";
  return indented;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vireo-windows-readme TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  std::string text = read.str();
  const std::string marker = "{help}\n";
  size_t at = text.find(marker);
  if (!in || at == std::string::npos) {
    std::cerr << "vireo-windows-readme: " << argv[1] << " has no line " << marker;
    return 1;
  }
  text.replace(at, marker.size(), Indented(vireo::FullHelp(vireo::kWindowsWords)));
  std::ofstream out(argv[2], std::ios::binary);
  out << WithCrLf(text);
  return out.flush() ? 0 : 1;
}
