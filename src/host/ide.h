// The host IDE's add-in object model, as far as the add-in relies on it.
// Any call may throw HostError when the host cannot answer it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vireo {

struct HostError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class IdeComponent {
 public:
  virtual ~IdeComponent() = default;
  virtual bool IsDirty() = 0;
  virtual int FileCount() = 0;
  virtual std::string Name() = 0;
  // 0: the form or code file; 1: a form's binary property file.
  virtual std::string FileNames(int index) = 0;
};

class IdeProject {
 public:
  virtual ~IdeProject() = default;
  virtual std::string FileName() = 0;
  virtual bool IsDirty() = 0;
  // In the host's order.
  virtual std::vector<std::shared_ptr<IdeComponent>> Components() = 0;
};

// Receives the clicks on a menu item (the add-in's Connect object).
class ClickSink {
 public:
  virtual ~ClickSink() = default;
  virtual void AfterClick() = 0;
};

class IdeMenuItem {
 public:
  virtual ~IdeMenuItem() = default;
  virtual int32_t ConnectEvents(ClickSink& sink) = 0;
  virtual void DisconnectEvents(int32_t cookie) = 0;
};

class IdeMenuItems {
 public:
  virtual ~IdeMenuItems() = default;
  virtual std::shared_ptr<IdeMenuItem> Add(const std::string& caption) = 0;
  virtual void Remove(const std::shared_ptr<IdeMenuItem>& item) = 0;
};

class IdeAddInMenu {
 public:
  virtual ~IdeAddInMenu() = default;
  virtual std::shared_ptr<IdeMenuItems> MenuItems() = 0;
};

class IdeApplication {
 public:
  virtual ~IdeApplication() = default;
  virtual std::shared_ptr<IdeProject> ActiveProject() = 0;
  virtual void LoadProject(const std::string& path) = 0;
  virtual std::shared_ptr<IdeAddInMenu> AddInMenu() = 0;
};

}  // namespace vireo
