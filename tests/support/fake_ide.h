// A scripted host IDE over a project on disk: components with names, file
// paths and a settable IsDirty, an add-in menu that records what was added
// and removed and can click an item, and a record of LoadProject calls. Any
// operation named in an object's `failing` set throws HostError instead.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/ide.h"

namespace vireo::testing {

class FakeComponent : public IdeComponent {
 public:
  FakeComponent(std::string component_name, std::vector<std::string> file_names,
                bool is_dirty = false)
      : name(std::move(component_name)), files(std::move(file_names)), dirty(is_dirty) {}

  bool IsDirty() override;
  int FileCount() override;
  std::string Name() override;
  std::string FileNames(int index) override;  // throws HostError outside 0 .. FileCount-1

  std::string name;
  std::vector<std::string> files;  // full paths: the form or code file, then a form's .frx
  bool dirty = false;
  std::set<std::string> failing;  // "IsDirty", "FileCount", "Name", "FileNames"
};

class FakeProject : public IdeProject {
 public:
  std::string FileName() override;
  bool IsDirty() override;
  std::vector<std::shared_ptr<IdeComponent>> Components() override;

  // Appends a component and returns it for further scripting.
  FakeComponent& AddComponent(const std::string& name, std::vector<std::string> files,
                              bool is_dirty = false);

  std::string file_name;
  bool dirty = false;
  std::vector<std::shared_ptr<FakeComponent>> components;  // in the host's order
  std::set<std::string> failing;                           // "FileName", "IsDirty", "Components"
};

class FakeMenuItem : public IdeMenuItem {
 public:
  FakeMenuItem(std::string item_caption, int32_t item_cookie)
      : caption(std::move(item_caption)), cookie(item_cookie) {}

  int32_t ConnectEvents(ClickSink& click_sink) override;
  void DisconnectEvents(int32_t given_cookie) override;
  // Calls the connected sink's AfterClick; false when none is connected.
  bool Click();

  std::string caption;
  int32_t cookie;  // what ConnectEvents returns
  ClickSink* sink = nullptr;
  std::vector<int32_t> disconnected_with;  // every cookie given to DisconnectEvents
};

class FakeMenuItems : public IdeMenuItems {
 public:
  std::shared_ptr<IdeMenuItem> Add(const std::string& caption) override;
  // Throws HostError for an item that is not in the menu.
  void Remove(const std::shared_ptr<IdeMenuItem>& item) override;

  std::vector<std::shared_ptr<FakeMenuItem>> items;  // in the menu now
  std::vector<std::string> added;                    // captions, every Add
  std::vector<std::string> removed;                  // captions, every Remove
  int32_t next_cookie = 0x5101;
};

class FakeAddInMenu : public IdeAddInMenu {
 public:
  std::shared_ptr<IdeMenuItems> MenuItems() override { return items; }
  std::shared_ptr<FakeMenuItems> items = std::make_shared<FakeMenuItems>();
};

class FakeIde : public IdeApplication {
 public:
  // ActiveProject throws HostError while `project` is null.
  std::shared_ptr<IdeProject> ActiveProject() override;
  void LoadProject(const std::string& path) override;
  std::shared_ptr<IdeAddInMenu> AddInMenu() override { return menu; }

  // Makes the project file at `vbp_path` the active project: one component
  // per "Form=", "Module=" and "Class=" line, in the file's order. A form is
  // named by its "Begin VB.Form" line and has a second file when a .frx of
  // the same name lies beside it; a module or class is named by its line.
  FakeProject& OpenProject(const std::string& vbp_path);

  // The menu item with `caption`, or null.
  std::shared_ptr<FakeMenuItem> FindMenuItem(const std::string& caption) const;
  // Clicks the menu item with `caption`; false when there is none or nothing listens.
  bool ClickMenuItem(const std::string& caption);

  std::shared_ptr<FakeProject> project = std::make_shared<FakeProject>();
  std::shared_ptr<FakeAddInMenu> menu = std::make_shared<FakeAddInMenu>();
  std::vector<std::string> loaded_projects;  // every LoadProject path
  std::set<std::string> failing;             // "ActiveProject", "LoadProject"
};

}  // namespace vireo::testing
