#include "addin/type_library.h"

#include "addin/connect_object.h"
#include "host/win32/dispatch.h"
#include "host/win32/windows_text.h"

namespace vireo {
namespace {

struct Method {
  const wchar_t* name;
  DISPID id;
  const wchar_t* parameter;  // null: none
  VARTYPE type;
};

constexpr Method kMethods[] = {
    {L"ConnectAddIn", kConnectAddInId, L"VBDriverInstance", VT_DISPATCH},
    {L"DisconnectAddIn", kDisconnectAddInId, L"Mode", VT_I4},
    {L"AfterClick", kAfterClickId, nullptr, VT_EMPTY},
};

// The library's part from its creation to its registration.
bool Write(const std::wstring& path) {
  ComPtr<ICreateTypeLib2> library;
  if (FAILED(::CreateTypeLib2(SYS_WIN32, path.c_str(), library.put()))) return false;
  std::wstring description = Wide(kTypeLibraryDescription);
  library->SetName(const_cast<LPOLESTR>(L"VIRAMU32"));
  library->SetGuid(kTypeLibraryId);
  library->SetVersion(1, 0);
  library->SetLcid(LOCALE_NEUTRAL);
  library->SetDocString(description.data());

  // _Connect derives from IDispatch, taken from the standard OLE library.
  ComPtr<ITypeLib> standard;
  ComPtr<ITypeInfo> dispatch_info;
  if (FAILED(::LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, standard.put())) ||
      FAILED(standard->GetTypeInfoOfGuid(IID_IDispatch, dispatch_info.put())))
    return false;

  ComPtr<ICreateTypeInfo> interface_info;
  if (FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_Connect"), TKIND_DISPATCH,
                                     interface_info.put())))
    return false;
  interface_info->SetGuid(kConnectInterfaceId);
  interface_info->SetTypeFlags(TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE);
  HREFTYPE base;
  if (FAILED(interface_info->AddRefTypeInfo(dispatch_info.get(), &base)) ||
      FAILED(interface_info->AddImplType(0, base)))
    return false;
  UINT index = 0;
  for (const Method& method : kMethods) {
    ELEMDESC parameter{};
    parameter.tdesc.vt = method.type;
    parameter.paramdesc.wParamFlags = PARAMFLAG_FIN;
    FUNCDESC function{};
    function.memid = method.id;
    function.funckind = FUNC_DISPATCH;
    function.invkind = INVOKE_FUNC;
    function.callconv = CC_STDCALL;
    function.cParams = method.parameter ? 1 : 0;
    function.lprgelemdescParam = method.parameter ? &parameter : nullptr;
    function.elemdescFunc.tdesc.vt = VT_VOID;
    LPOLESTR names[] = {const_cast<LPOLESTR>(method.name), const_cast<LPOLESTR>(method.parameter)};
    if (FAILED(interface_info->AddFuncDesc(index, &function)) ||
        FAILED(interface_info->SetFuncAndParamNames(index, names, method.parameter ? 2 : 1)))
      return false;
    ++index;
  }

  ComPtr<ICreateTypeInfo> class_info;
  if (FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"Connect"), TKIND_COCLASS,
                                     class_info.put())))
    return false;
  class_info->SetGuid(kConnectClassId);
  class_info->SetTypeFlags(TYPEFLAG_FCANCREATE);
  ComPtr<ITypeInfo> interface_type;
  HREFTYPE implemented;
  if (FAILED(interface_info->QueryInterface(IID_ITypeInfo,
                                            reinterpret_cast<void**>(interface_type.put()))) ||
      FAILED(class_info->AddRefTypeInfo(interface_type.get(), &implemented)) ||
      FAILED(class_info->AddImplType(0, implemented)) ||
      FAILED(class_info->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT)))
    return false;
  return SUCCEEDED(library->SaveAllChanges());
}

}  // namespace

bool WriteAndRegisterTypeLibrary(const std::wstring& path) {
  if (!Write(path)) return false;
  ComPtr<ITypeLib> library;
  return SUCCEEDED(::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.put()));
}

bool UnregisterTypeLibrary() {
  // Gone already is no failure (Wine then answers E_INVALIDARG).
  BSTR registered_path = nullptr;
  if (FAILED(::QueryPathOfRegTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, &registered_path)))
    return true;
  ::SysFreeString(registered_path);
  HRESULT result = ::UnRegisterTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
  return SUCCEEDED(result) || result == TYPE_E_REGISTRYACCESS ||
         result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

}  // namespace vireo
