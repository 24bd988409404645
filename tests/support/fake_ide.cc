#include "support/fake_ide.h"

#include <algorithm>
#include <fstream>

#include "base/text.h"
#include "host/posix/path_resolver_posix.h"
#include "support/test_files.h"

namespace vireo::testing {
namespace {

void Check(const std::set<std::string>& failing, const char* operation) {
  if (failing.count(operation)) throw HostError(std::string(operation) + " failed");
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// The name after "Begin VB.Form" (or VB.MDIForm); the file's stem when there is none.
std::string FormName(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::string_view text = TrimSpaces(line);
    for (std::string_view begin : {"Begin VB.Form ", "Begin VB.MDIForm "}) {
      if (StartsWithNoCase(text, begin)) {
        std::string_view rest = TrimSpaces(text.substr(begin.size()));
        return std::string(rest.substr(0, rest.find_first_of(" \r")));
      }
    }
  }
  size_t slash = path.rfind('/') + 1;
  return path.substr(slash, path.rfind('.') - slash);
}

}  // namespace

bool FakeComponent::IsDirty() {
  Check(failing, "IsDirty");
  return dirty;
}

int FakeComponent::FileCount() {
  Check(failing, "FileCount");
  return static_cast<int>(files.size());
}

std::string FakeComponent::Name() {
  Check(failing, "Name");
  return name;
}

std::string FakeComponent::FileNames(int index) {
  Check(failing, "FileNames");
  if (index < 0 || index >= static_cast<int>(files.size()))
    throw HostError("no file " + std::to_string(index) + " in " + name);
  return files[static_cast<size_t>(index)];
}

std::string FakeProject::FileName() {
  Check(failing, "FileName");
  return file_name;
}

bool FakeProject::IsDirty() {
  Check(failing, "IsDirty");
  return dirty;
}

std::vector<std::shared_ptr<IdeComponent>> FakeProject::Components() {
  Check(failing, "Components");
  return {components.begin(), components.end()};
}

FakeComponent& FakeProject::AddComponent(const std::string& name, std::vector<std::string> files,
                                         bool is_dirty) {
  components.push_back(std::make_shared<FakeComponent>(name, std::move(files), is_dirty));
  return *components.back();
}

int32_t FakeMenuItem::ConnectEvents(ClickSink& click_sink) {
  sink = &click_sink;
  return cookie;
}

void FakeMenuItem::DisconnectEvents(int32_t given_cookie) {
  disconnected_with.push_back(given_cookie);
  if (given_cookie == cookie) sink = nullptr;
}

bool FakeMenuItem::Click() {
  if (!sink) return false;
  sink->AfterClick();
  return true;
}

std::shared_ptr<IdeMenuItem> FakeMenuItems::Add(const std::string& caption) {
  items.push_back(std::make_shared<FakeMenuItem>(caption, next_cookie++));
  added.push_back(caption);
  return items.back();
}

void FakeMenuItems::Remove(const std::shared_ptr<IdeMenuItem>& item) {
  auto found = std::find(items.begin(), items.end(), item);
  if (found == items.end()) throw HostError("no such menu item");
  removed.push_back((*found)->caption);
  items.erase(found);
}

std::shared_ptr<IdeProject> FakeIde::ActiveProject() {
  Check(failing, "ActiveProject");
  if (!project) throw HostError("no active project");
  return project;
}

void FakeIde::LoadProject(const std::string& path) {
  Check(failing, "LoadProject");
  loaded_projects.push_back(path);
}

FakeProject& FakeIde::OpenProject(const std::string& vbp_path) {
  project = std::make_shared<FakeProject>();
  project->file_name = vbp_path;
  PosixPathResolver resolver;
  std::string directory = DirectoryOf(vbp_path);
  std::ifstream in(vbp_path, std::ios::binary);
  std::string raw;
  while (std::getline(in, raw)) {
    std::string_view line = TrimSpaces(raw);
    if (!line.empty() && line.back() == '\r') line = TrimSpaces(line.substr(0, line.size() - 1));
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view kind = line.substr(0, equals);
    std::string_view value = line.substr(equals + 1);
    if (EqualsNoCase(kind, "Form")) {
      std::string form = resolver.Resolve(directory, std::string(TrimSpaces(value)));
      std::vector<std::string> files = {form};
      std::string frx = resolver.Resolve(directory, form.substr(0, form.rfind('.')) + ".frx");
      if (FileExists(frx)) files.push_back(frx);
      project->AddComponent(FormName(form), files);
    } else if (EqualsNoCase(kind, "Module") || EqualsNoCase(kind, "Class")) {
      size_t semicolon = value.find(';');
      if (semicolon == std::string_view::npos) continue;
      std::string name(TrimSpaces(value.substr(0, semicolon)));
      project->AddComponent(
          name,
          {resolver.Resolve(directory, std::string(TrimSpaces(value.substr(semicolon + 1))))});
    }
  }
  return *project;
}

std::shared_ptr<FakeMenuItem> FakeIde::FindMenuItem(const std::string& caption) const {
  for (const auto& item : menu->items->items) {
    if (item->caption == caption) return item;
  }
  return nullptr;
}

bool FakeIde::ClickMenuItem(const std::string& caption) {
  std::shared_ptr<FakeMenuItem> item = FindMenuItem(caption);
  return item && item->Click();
}

}  // namespace vireo::testing
