#include "addin/connect_object.h"

#include <atomic>

#include "host/win32/dispatch_ide.h"
#include "shell/connect.h"

namespace vireo {
namespace {

std::atomic<long> server_holds{0};

class ConnectObject final : public DispatchObject {
 public:
  explicit ConnectObject(const RunServices& services)
      : DispatchObject({{L"ConnectAddIn", kConnectAddInId},
                        {L"DisconnectAddIn", kDisconnectAddInId},
                        {L"AfterClick", kAfterClickId}}),
        connect_(services) {
    HoldServer();
  }

 private:
  ~ConnectObject() override {
    // A host that lets go without disconnecting leaves its instance here.
    if (connected_) VBInst().reset();
    ReleaseServer();
  }

  void Call(DISPID id, WORD, const std::vector<const VARIANT*>& args, VARIANT*) override {
    switch (id) {
      case kConnectAddInId: {
        ComPtr<IDispatch> host = AsObject(Arg(args, 0));
        connect_.ConnectAddIn(MakeDispatchIde(host.get(), this));
        connected_ = true;
        break;
      }
      case kDisconnectAddInId:
        connect_.DisconnectAddIn(args.empty() ? 0 : AsInt(*args[0]));
        connected_ = false;
        break;
      case kAfterClickId:
        connect_.AfterClick();
        break;
    }
  }

  Connect connect_;
  bool connected_ = false;
};

}  // namespace

void HoldServer() { ++server_holds; }

void ReleaseServer() {
  if (--server_holds == 0) ::PostQuitMessage(0);
}

IDispatch* NewConnectObject(const RunServices& services) { return new ConnectObject(services); }

}  // namespace vireo
