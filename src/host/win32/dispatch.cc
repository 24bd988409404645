#include "host/win32/dispatch.h"

#include "host/ide.h"
#include "host/win32/windows_text.h"

namespace vireo {
namespace {

std::string Hex(HRESULT result) {
  char text[16];
  wsprintfA(text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// The value behind a by-reference argument, as Visual Basic passes them.
Variant Dereferenced(const VARIANT& value) {
  Variant copy;
  if (FAILED(::VariantCopyInd(copy.get(), const_cast<VARIANT*>(&value))))
    throw HostError("an argument cannot be read");
  return copy;
}

Variant Converted(const VARIANT& value, VARTYPE type, const char* what) {
  Variant plain = Dereferenced(value);
  Variant converted;
  if (FAILED(::VariantChangeType(converted.get(), plain.get(), 0, type)))
    throw HostError(std::string("a value is not ") + what);
  return converted;
}

}  // namespace

Variant::Variant(const std::string& text) : Variant() {
  v_.vt = VT_BSTR;
  v_.bstrVal = ToBstr(text);
}

Variant::Variant(int32_t value) : Variant() {
  v_.vt = VT_I4;
  v_.lVal = value;
}

Variant::Variant(bool value) : Variant() {
  v_.vt = VT_BOOL;
  v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(IDispatch* object) : Variant() {
  v_.vt = VT_DISPATCH;
  v_.pdispVal = object;
  if (object) object->AddRef();
}

Variant::Variant(const Variant& other) : Variant() {
  ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Variant::Variant(Variant&& other) noexcept : v_(other.v_) { ::VariantInit(&other.v_); }

Variant& Variant::operator=(Variant other) {
  std::swap(v_, other.v_);
  return *this;
}

std::string FromBstr(BSTR text) {
  return text ? Narrow(text, ::SysStringLen(text)) : std::string();
}

BSTR ToBstr(const std::string& text) {
  std::wstring wide = Wide(text);
  return ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

Variant CallByName(IDispatch* object, const wchar_t* name, WORD kind, std::vector<Variant> args) {
  std::string member = Narrow(std::wstring(name));
  if (!object) throw HostError("no object to call " + member + " on");
  DISPID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result))
    throw HostError("the object has no member " + member + " (" + Hex(result) + ")");
  // DISPPARAMS holds the arguments last first.
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->raw());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (kind == DISPATCH_METHOD) kind = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  Variant answer;
  EXCEPINFO exception{};
  UINT argument_error = 0;
  result = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, answer.get(),
                          &exception, &argument_error);
  if (FAILED(result)) {
    std::string why = Hex(result);
    if (result == DISP_E_EXCEPTION && exception.bstrDescription)
      why = FromBstr(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    throw HostError(member + " failed: " + why);
  }
  return answer;
}

std::string AsString(const VARIANT& value) {
  Variant text = Converted(value, VT_BSTR, "text");
  return FromBstr(text.raw().bstrVal);
}

int32_t AsInt(const VARIANT& value) { return Converted(value, VT_I4, "a number").raw().lVal; }

bool AsBool(const VARIANT& value) {
  return Converted(value, VT_BOOL, "true or false").raw().boolVal != VARIANT_FALSE;
}

ComPtr<IDispatch> AsObject(const VARIANT& value) {
  Variant plain = Dereferenced(value);
  const VARIANT& v = plain.raw();
  if (v.vt == VT_DISPATCH && v.pdispVal) return ComPtr<IDispatch>(v.pdispVal, true);
  if (v.vt == VT_UNKNOWN && v.punkVal) {
    ComPtr<IDispatch> object;
    if (SUCCEEDED(v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put()))))
      return object;
  }
  throw HostError("a value is not an object");
}

HRESULT DispatchObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() { return ++references_; }

ULONG DispatchObject::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const Member& member : members_) {
    if (::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, member.name, -1, names[0], -1) ==
        CSTR_EQUAL) {
      ids[0] = member.id;
      // Named arguments are not offered.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* exception, UINT*) {
  bool known = false;
  for (const Member& member : members_) known |= member.id == id;
  if (!known) return DISP_E_MEMBERNOTFOUND;
  if (params && params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
  std::vector<const VARIANT*> args;
  for (UINT i = params ? params->cArgs : 0; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
  Variant answer;
  try {
    AddRef();  // a call may drop the caller's last reference to this object
    Call(id, kind, args, answer.get());
    if (result) *result = std::exchange(*answer.get(), VARIANT{});
    Release();
    return S_OK;
  } catch (const std::exception& error) {
    Release();
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = E_FAIL;
      exception->bstrDescription = ToBstr(error.what());
    }
    return DISP_E_EXCEPTION;
  }
}

const VARIANT& DispatchObject::Arg(const std::vector<const VARIANT*>& args, size_t index) {
  if (index >= args.size()) throw HostError("an argument is missing");
  return *args[index];
}

}  // namespace vireo
