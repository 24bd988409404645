// The add-in's face to the host IDE: on connection it adds the menu command
// and listens to it, a click runs one conversion of the active project, and
// on disconnection it removes the command and lets go of the host.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/project/convert_project.h"
#include "host/ide.h"

namespace vireo {

inline constexpr char kMenuCaption[] = "&Vireo Pro 5.0 Migration Utility";

// The host instance kept from the connection; empty before ConnectAddIn and
// after DisconnectAddIn. Shared by the whole program.
std::shared_ptr<IdeApplication>& VBInst();

class Connect final : public ClickSink {
 public:
  // Fills the grid catalogue (once per process); `services` serve every click.
  explicit Connect(const RunServices& services);

  // Host failures propagate as HostError, as does a missing instance or
  // disconnecting what is not connected.
  void ConnectAddIn(std::shared_ptr<IdeApplication> VBDriverInstance);
  // `Mode` is not examined.
  void DisconnectAddIn(int Mode);
  // Runs one conversion; does nothing while not connected.
  void AfterClick() override;

  // What the last click's run ended with.
  const RunResult& LastResult() const { return last_result_; }
  const std::shared_ptr<IdeMenuItem>& MenuItem() const { return menu_item_; }
  int32_t MenuCookie() const { return menu_cookie_; }

 private:
  RunServices services_;
  std::shared_ptr<IdeMenuItem> menu_item_;
  int32_t menu_cookie_ = 0;
  RunResult last_result_;
};

}  // namespace vireo
