// A scripted IDE for the add-in's end-to-end test: the IDE's add-in object
// model as IDispatch objects over a project on disk. Components come from
// the project file; their IsDirty flags can be set; the add-in menu records
// its items and can "click" one, calling AfterClick on its event sink by
// name, as the IDE does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/win32/dispatch.h"

namespace vireo::testing {

class FakeComponent final : public DispatchObject {
 public:
  FakeComponent(std::string name, std::vector<std::string> files);
  bool dirty = false;
  const std::string& name() const { return name_; }

 private:
  void Call(DISPID id, WORD kind, const std::vector<const VARIANT*>& args,
            VARIANT* result) override;
  std::string name_;
  std::vector<std::string> files_;
};

class FakeMenuItem final : public DispatchObject {
 public:
  explicit FakeMenuItem(std::string caption);
  const std::string& caption() const { return caption_; }
  bool HasSink() const { return static_cast<bool>(sink_); }
  // What the IDE does when the user picks the item.
  void Click();

 private:
  void Call(DISPID id, WORD kind, const std::vector<const VARIANT*>& args,
            VARIANT* result) override;
  std::string caption_;
  ComPtr<IDispatch> sink_;
  int32_t cookie_ = 0;
};

class FakeMenuItems final : public DispatchObject {
 public:
  FakeMenuItems();
  std::vector<ComPtr<FakeMenuItem>> items;
  int removed = 0;

 private:
  void Call(DISPID id, WORD kind, const std::vector<const VARIANT*>& args,
            VARIANT* result) override;
};

class FakeIdeApplication final : public DispatchObject {
 public:
  // Reads the components from the project file's Form=, Module= and Class=
  // lines; a form has a second file when its .frx exists.
  explicit FakeIdeApplication(const std::string& project_file);

  FakeMenuItems& menu_items() { return *menu_items_.get(); }
  std::vector<ComPtr<FakeComponent>>& components() { return components_; }
  bool project_dirty = false;
  // Every LoadProject call, its arguments joined with "|".
  std::vector<std::string> loaded;

 private:
  void Call(DISPID id, WORD kind, const std::vector<const VARIANT*>& args,
            VARIANT* result) override;
  std::string project_file_;
  std::vector<ComPtr<FakeComponent>> components_;
  ComPtr<FakeMenuItems> menu_items_;
  ComPtr<IDispatch> project_, add_in_menu_;
};

}  // namespace vireo::testing
