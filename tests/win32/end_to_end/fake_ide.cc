#include "fake_ide.h"

#include <fstream>

#include "base/text.h"
#include "host/ide.h"

namespace vireo::testing {
namespace {

void Return(VARIANT* result, Variant value) {
  if (result) *result = std::exchange(*value.get(), VARIANT{});
}

std::string Directory(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The name in a form's "Attribute VB_Name" line.
std::string FormName(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!StartsWithNoCase(line, "Attribute VB_Name")) continue;
    size_t open = line.find('"'), close = line.rfind('"');
    if (open != std::string::npos && close > open) return line.substr(open + 1, close - open - 1);
  }
  return path;
}

class FakeCollection final : public DispatchObject {
 public:
  explicit FakeCollection(std::vector<ComPtr<FakeComponent>>& items)
      : DispatchObject({{L"Count", 1}, {L"Item", 2}}), items_(items) {}

 private:
  void Call(DISPID id, WORD, const std::vector<const VARIANT*>& args, VARIANT* result) override {
    if (id == 1) return Return(result, Variant(static_cast<int32_t>(items_.size())));
    int32_t index = AsInt(Arg(args, 0));
    if (index < 1 || index > static_cast<int32_t>(items_.size()))
      throw HostError("Item: no component " + std::to_string(index));
    Return(result, Variant(static_cast<IDispatch*>(items_[index - 1].get())));
  }
  std::vector<ComPtr<FakeComponent>>& items_;
};

class FakeProject final : public DispatchObject {
 public:
  explicit FakeProject(FakeIdeApplication& ide, std::string file,
                       std::vector<ComPtr<FakeComponent>>& components)
      : DispatchObject({{L"FileName", 1}, {L"IsDirty", 2}, {L"Components", 3}}),
        ide_(ide),
        file_(std::move(file)),
        components_(components) {}

 private:
  void Call(DISPID id, WORD, const std::vector<const VARIANT*>&, VARIANT* result) override {
    if (id == 1) return Return(result, Variant(file_));
    if (id == 2) return Return(result, Variant(ide_.project_dirty));
    auto* collection = new FakeCollection(components_);
    Return(result, Variant(static_cast<IDispatch*>(collection)));
    collection->Release();
  }
  FakeIdeApplication& ide_;
  std::string file_;
  std::vector<ComPtr<FakeComponent>>& components_;
};

class FakeAddInMenu final : public DispatchObject {
 public:
  explicit FakeAddInMenu(FakeMenuItems& items)
      : DispatchObject({{L"MenuItems", 1}}), items_(items) {}

 private:
  void Call(DISPID, WORD, const std::vector<const VARIANT*>&, VARIANT* result) override {
    Return(result, Variant(static_cast<IDispatch*>(&items_)));
  }
  FakeMenuItems& items_;
};

}  // namespace

FakeComponent::FakeComponent(std::string name, std::vector<std::string> files)
    : DispatchObject({{L"IsDirty", 1}, {L"FileCount", 2}, {L"Name", 3}, {L"FileNames", 4}}),
      name_(std::move(name)),
      files_(std::move(files)) {}

void FakeComponent::Call(DISPID id, WORD, const std::vector<const VARIANT*>& args,
                         VARIANT* result) {
  switch (id) {
    case 1:
      return Return(result, Variant(dirty));
    case 2:
      return Return(result, Variant(static_cast<int32_t>(files_.size())));
    case 3:
      return Return(result, Variant(name_));
  }
  int32_t index = AsInt(Arg(args, 0));
  if (index < 0 || index >= static_cast<int32_t>(files_.size()))
    throw HostError("FileNames: no file " + std::to_string(index));
  Return(result, Variant(files_[index]));
}

FakeMenuItem::FakeMenuItem(std::string caption)
    : DispatchObject({{L"Caption", 1}, {L"ConnectEvents", 2}, {L"DisconnectEvents", 3}}),
      caption_(std::move(caption)) {}

void FakeMenuItem::Click() {
  if (!sink_) throw HostError("the menu item has no event sink");
  CallByName(sink_.get(), L"AfterClick", DISPATCH_METHOD);
}

void FakeMenuItem::Call(DISPID id, WORD, const std::vector<const VARIANT*>& args, VARIANT* result) {
  switch (id) {
    case 1:
      return Return(result, Variant(caption_));
    case 2:
      sink_ = AsObject(Arg(args, 0));
      return Return(result, Variant(++cookie_ + 1000));
    case 3:
      if (AsInt(Arg(args, 0)) != cookie_ + 1000) throw HostError("DisconnectEvents: wrong cookie");
      sink_.reset();
      return;
  }
}

FakeMenuItems::FakeMenuItems() : DispatchObject({{L"Add", 1}, {L"Remove", 2}}) {}

void FakeMenuItems::Call(DISPID id, WORD, const std::vector<const VARIANT*>& args,
                         VARIANT* result) {
  if (id == 1) {
    items.emplace_back(new FakeMenuItem(AsString(Arg(args, 0))));
    return Return(result, Variant(static_cast<IDispatch*>(items.back().get())));
  }
  // The add-in hands back an item of ours: the same object, by identity.
  ComPtr<IDispatch> item = AsObject(Arg(args, 0));
  ComPtr<IUnknown> identity;
  item->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put()));
  for (auto it = items.begin(); it != items.end(); ++it) {
    ComPtr<IUnknown> candidate;
    (*it)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(candidate.put()));
    if (candidate.get() == identity.get()) {
      items.erase(it);
      ++removed;
      return;
    }
  }
  throw HostError("Remove: not an item of this menu");
}

FakeIdeApplication::FakeIdeApplication(const std::string& project_file)
    : DispatchObject({{L"ActiveProject", 1}, {L"AddInMenu", 2}, {L"LoadProject", 3}}),
      project_file_(project_file),
      menu_items_(new FakeMenuItems) {
  std::ifstream in(project_file, std::ios::binary);
  std::string line;
  std::string folder = Directory(project_file);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (EqualsNoCase(key, "Form")) {
      std::vector<std::string> files{folder + value};
      std::string binary = folder + value.substr(0, value.rfind('.')) + ".frx";
      if (Exists(binary)) files.push_back(binary);
      components_.emplace_back(new FakeComponent(FormName(files[0]), files));
    } else if (EqualsNoCase(key, "Module") || EqualsNoCase(key, "Class")) {
      size_t semicolon = value.find(';');
      std::string name = value.substr(0, semicolon);
      std::string file(TrimSpaces(value.substr(semicolon + 1)));
      components_.emplace_back(new FakeComponent(name, {folder + file}));
    }
  }
  project_ = ComPtr<IDispatch>(new FakeProject(*this, project_file_, components_));
  add_in_menu_ = ComPtr<IDispatch>(new FakeAddInMenu(*menu_items_.get()));
}

void FakeIdeApplication::Call(DISPID id, WORD, const std::vector<const VARIANT*>& args,
                              VARIANT* result) {
  switch (id) {
    case 1:
      return Return(result, Variant(project_.get()));
    case 2:
      return Return(result, Variant(add_in_menu_.get()));
    case 3: {
      std::string call;
      for (const VARIANT* arg : args) {
        if (!call.empty()) call += '|';
        call += AsString(*arg);
      }
      loaded.push_back(call);
      return;
    }
  }
}

}  // namespace vireo::testing
