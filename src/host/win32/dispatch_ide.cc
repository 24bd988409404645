#include "host/win32/dispatch_ide.h"

namespace vireo {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

ComPtr<IDispatch> Property(IDispatch* object, const wchar_t* name) {
  return AsObject(CallByName(object, name, kGet).raw());
}

class DispatchComponent final : public IdeComponent {
 public:
  explicit DispatchComponent(ComPtr<IDispatch> component) : component_(std::move(component)) {}
  bool IsDirty() override { return AsBool(CallByName(component_.get(), L"IsDirty", kGet).raw()); }
  int FileCount() override { return AsInt(CallByName(component_.get(), L"FileCount", kGet).raw()); }
  std::string Name() override {
    return AsString(CallByName(component_.get(), L"Name", kGet).raw());
  }
  std::string FileNames(int index) override {
    return AsString(
        CallByName(component_.get(), L"FileNames", kGet, {Variant(int32_t{index})}).raw());
  }

 private:
  ComPtr<IDispatch> component_;
};

class DispatchProject final : public IdeProject {
 public:
  explicit DispatchProject(ComPtr<IDispatch> project) : project_(std::move(project)) {}
  std::string FileName() override {
    return AsString(CallByName(project_.get(), L"FileName", kGet).raw());
  }
  bool IsDirty() override { return AsBool(CallByName(project_.get(), L"IsDirty", kGet).raw()); }
  // The collection's items 1 to Count, in the host's order.
  std::vector<std::shared_ptr<IdeComponent>> Components() override {
    ComPtr<IDispatch> components = Property(project_.get(), L"Components");
    int32_t count = AsInt(CallByName(components.get(), L"Count", kGet).raw());
    std::vector<std::shared_ptr<IdeComponent>> result;
    for (int32_t i = 1; i <= count; ++i) {
      Variant item = CallByName(components.get(), L"Item", kMethod, {Variant(i)});
      result.push_back(std::make_shared<DispatchComponent>(AsObject(item.raw())));
    }
    return result;
  }

 private:
  ComPtr<IDispatch> project_;
};

class DispatchMenuItem final : public IdeMenuItem {
 public:
  DispatchMenuItem(ComPtr<IDispatch> item, IDispatch* sink) : item_(std::move(item)), sink_(sink) {}
  int32_t ConnectEvents(ClickSink&) override {
    return AsInt(CallByName(item_.get(), L"ConnectEvents", kMethod, {Variant(sink_)}).raw());
  }
  void DisconnectEvents(int32_t cookie) override {
    CallByName(item_.get(), L"DisconnectEvents", kMethod, {Variant(cookie)});
  }
  IDispatch* object() const { return item_.get(); }

 private:
  ComPtr<IDispatch> item_;
  IDispatch* sink_;
};

class DispatchMenuItems final : public IdeMenuItems {
 public:
  DispatchMenuItems(ComPtr<IDispatch> items, IDispatch* sink)
      : items_(std::move(items)), sink_(sink) {}
  std::shared_ptr<IdeMenuItem> Add(const std::string& caption) override {
    Variant item = CallByName(items_.get(), L"Add", kMethod, {Variant(caption)});
    return std::make_shared<DispatchMenuItem>(AsObject(item.raw()), sink_);
  }
  void Remove(const std::shared_ptr<IdeMenuItem>& item) override {
    auto* ours = dynamic_cast<DispatchMenuItem*>(item.get());
    if (!ours) throw HostError("Remove: not a menu item of this host");
    CallByName(items_.get(), L"Remove", kMethod, {Variant(ours->object())});
  }

 private:
  ComPtr<IDispatch> items_;
  IDispatch* sink_;
};

class DispatchAddInMenu final : public IdeAddInMenu {
 public:
  DispatchAddInMenu(ComPtr<IDispatch> menu, IDispatch* sink)
      : menu_(std::move(menu)), sink_(sink) {}
  std::shared_ptr<IdeMenuItems> MenuItems() override {
    return std::make_shared<DispatchMenuItems>(Property(menu_.get(), L"MenuItems"), sink_);
  }

 private:
  ComPtr<IDispatch> menu_;
  IDispatch* sink_;
};

class DispatchApplication final : public IdeApplication {
 public:
  DispatchApplication(IDispatch* application, IDispatch* sink)
      : application_(application, true), sink_(sink) {}
  std::shared_ptr<IdeProject> ActiveProject() override {
    return std::make_shared<DispatchProject>(Property(application_.get(), L"ActiveProject"));
  }
  // Asked with the project file and an empty text, as the old add-in did.
  void LoadProject(const std::string& path) override {
    CallByName(application_.get(), L"LoadProject", kMethod,
               {Variant(path), Variant(std::string())});
  }
  std::shared_ptr<IdeAddInMenu> AddInMenu() override {
    return std::make_shared<DispatchAddInMenu>(Property(application_.get(), L"AddInMenu"), sink_);
  }

 private:
  ComPtr<IDispatch> application_;
  IDispatch* sink_;
};

}  // namespace

std::shared_ptr<IdeApplication> MakeDispatchIde(IDispatch* application, IDispatch* sink) {
  if (!application) throw HostError("no host instance to connect to");
  return std::make_shared<DispatchApplication>(application, sink);
}

}  // namespace vireo
