// VIRAMU32.exe, the add-in: an out-of-process automation server for the
// class Connect. Every start but "/UnregServer" runs Main first (the VB.INI
// entry), whatever the rest of the command line: "/RegServer" then writes the
// COM registration, "-Embedding" (COM starting it) serves Connect objects
// until the last one is released, and nothing else is done otherwise.
// "/UnregServer" undoes both: the COM registration and the VB.INI line, and
// no other line of VB.INI. A setup program in silent mode adds "/S", which
// keeps Main's message from being shown.

#include "addin/com_registration.h"
#include "addin/connect_object.h"
#include "addin/vb_ini_entry.h"
#include "engine/catalogue/grid_catalogue.h"
#include "host/ini_settings_file.h"
#include "host/win32/path_resolver_win32.h"
#include "host/win32/profile_settings_file.h"
#include "host/win32/user_interface_win32.h"
#include "host/win32/windows_registry.h"
#include "shell/registration.h"

namespace vireo {
namespace {

// What serves every click: one set for the life of the process.
struct Services {
  Win32UserInterface ui;
  WindowsRegistry registry;
  Win32ConvertDialog dialog{registry};
  Win32StatusWindow status;
  WindowsPathResolver resolver;
  RunServices run{ui, dialog, status, resolver};
};

class ConnectFactory final : public IClassFactory {
 public:
  explicit ConnectFactory(const RunServices& services) : services_(services) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its references do not count.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IDispatch* connect = NewConnectObject(services_);
    HRESULT result = connect->QueryInterface(iid, object);
    connect->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      HoldServer();
    } else {
      ReleaseServer();
    }
    return S_OK;
  }

 private:
  const RunServices& services_;
};

// An object that does nothing, kept marshalled for the life of the
// apartment together with the class factory: with an IDispatch and an
// IClassFactory stub always registered, Wine never unregisters an interface
// while a release is in flight, which can hang its RPC layer.
class Anchor final : public DispatchObject {
 public:
  Anchor() : DispatchObject({}) {}
  void Call(DISPID, WORD, const std::vector<const VARIANT*>&, VARIANT*) override {}
};

ComPtr<IStream> MarshalForGood(IUnknown* object, REFIID iid) {
  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
  if (FAILED(::CoMarshalInterface(stream.get(), iid, object, MSHCTX_LOCAL, nullptr,
                                  MSHLFLAGS_TABLESTRONG)))
    return {};
  return stream;
}

void ReleaseMarshalled(ComPtr<IStream>& stream) {
  if (!stream) return;
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ::CoReleaseMarshalData(stream.get());
  stream.reset();
}

int Serve(const RunServices& services) {
  FillGridCatalogue();
  static ConnectFactory factory(services);
  Anchor* anchor = new Anchor;
  ComPtr<IStream> factory_stream = MarshalForGood(&factory, IID_IClassFactory);
  ComPtr<IStream> anchor_stream = MarshalForGood(anchor, IID_IDispatch);
  DWORD cookie = 0;
  HRESULT registered = ::CoRegisterClassObject(kConnectClassId, &factory, CLSCTX_LOCAL_SERVER,
                                               REGCLS_MULTIPLEUSE, &cookie);
  if (SUCCEEDED(registered)) {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::CoRevokeClassObject(cookie);
  }
  ReleaseMarshalled(anchor_stream);
  ReleaseMarshalled(factory_stream);
  anchor->Release();
  return SUCCEEDED(registered) ? 0 : 1;
}

std::wstring Switch(const wchar_t* argument) {
  std::wstring word = argument;
  if (!word.empty() && (word[0] == L'-' || word[0] == L'/')) word.erase(0, 1);
  for (wchar_t& c : word) c = static_cast<wchar_t>(::towlower(c));
  return word;
}

// For "/S": the one message Main may show goes nowhere.
class QuietUserInterface final : public UserInterface {
 public:
  void MessageBox(const std::string&, int) override {}
  int MousePointer() override { return 0; }
  void SetMousePointer(int) override {}
};

bool Unregister() {
  IniSettingsFile vb_ini(WindowsVbIniPath());
  bool removed = RemoveAddInEntry(vb_ini);
  return UnregisterServer() && removed;
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace
}  // namespace vireo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace vireo;
  if (FAILED(::CoInitialize(nullptr))) return 1;
  int status = 0;
  {
    Services services;
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring action = count > 1 ? Switch(arguments[1]) : L"";
    bool quiet = count > 2 && Switch(arguments[2]) == L"s";
    ::LocalFree(arguments);
    if (action != L"unregserver") {
      ProfileSettingsFile vb_ini("VB.INI");
      QuietUserInterface quiet_ui;
      Main(vb_ini, quiet ? static_cast<UserInterface&>(quiet_ui) : services.ui);
    }
    if (action == L"regserver") {
      status = RegisterServer(ProgramPath()) ? 0 : 1;
    } else if (action == L"unregserver") {
      status = Unregister() ? 0 : 1;
    } else if (action == L"embedding" || action == L"automation") {
      status = Serve(services.run);
    }
  }
  ::CoUninitialize();
  return status;
}
