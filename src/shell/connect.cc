#include "shell/connect.h"

#include "engine/catalogue/grid_catalogue.h"

namespace vireo {

std::shared_ptr<IdeApplication>& VBInst() {
  static std::shared_ptr<IdeApplication> instance;
  return instance;
}

Connect::Connect(const RunServices& services) : services_(services) {}

void Connect::ConnectAddIn(std::shared_ptr<IdeApplication> VBDriverInstance) {
  if (!VBDriverInstance) throw HostError("no host instance to connect to");
  VBInst() = std::move(VBDriverInstance);
  std::shared_ptr<IdeMenuItems> items = VBInst()->AddInMenu()->MenuItems();
  menu_item_ = items->Add(kMenuCaption);
  menu_cookie_ = menu_item_->ConnectEvents(*this);
}

void Connect::DisconnectAddIn(int /*Mode*/) {
  if (!menu_item_ || !VBInst()) throw HostError("the add-in is not connected");
  menu_item_->DisconnectEvents(menu_cookie_);
  std::shared_ptr<IdeMenuItems> items = VBInst()->AddInMenu()->MenuItems();
  items->Remove(menu_item_);
  items.reset();
  menu_item_.reset();
  VBInst().reset();
}

void Connect::AfterClick() {
  if (!VBInst()) return;
  last_result_ = ConvertProject(*VBInst(), services_);
}

}  // namespace vireo
