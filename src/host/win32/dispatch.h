// Automation by name: calling a member of an IDispatch object late-bound, the
// way the add-in reaches the IDE, and a base for objects that answer such
// calls (the add-in's Connect class, and the scripted IDE of the tests).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/win32/windows_headers.h"

namespace vireo {

// An owned COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns; `add_ref` adds one of its own.
  explicit ComPtr(T* pointer, bool add_ref = false) : p_(pointer) {
    if (p_ && add_ref) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_, true) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// An owned VARIANT.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  explicit Variant(const std::string& text);
  explicit Variant(int32_t value);
  explicit Variant(bool value);
  explicit Variant(IDispatch* object);  // adds a reference
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant other);
  ~Variant() { ::VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT& raw() const { return v_; }

 private:
  VARIANT v_;
};

std::string FromBstr(BSTR text);
BSTR ToBstr(const std::string& text);

// Calls the member `name` of `object` with the arguments in their written
// order. `kind` is DISPATCH_METHOD or DISPATCH_PROPERTYGET (a method is
// called with both, as Visual Basic does). Throws HostError naming the
// member when the object lacks it or the call fails.
Variant CallByName(IDispatch* object, const wchar_t* name, WORD kind,
                   std::vector<Variant> args = {});

// A result or an argument as the type wanted; HostError when it does not convert.
std::string AsString(const VARIANT& value);
int32_t AsInt(const VARIANT& value);
bool AsBool(const VARIANT& value);
ComPtr<IDispatch> AsObject(const VARIANT& value);

// Base of objects that answer IDispatch by member name. They offer no type
// information; names are matched ignoring case, as automation does.
class DispatchObject : public IDispatch {
 public:
  struct Member {
    const wchar_t* name;
    DISPID id;
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override;

 protected:
  explicit DispatchObject(std::vector<Member> members) : members_(std::move(members)) {}
  virtual ~DispatchObject() = default;

  // Answers one call; `args` in their written order. A thrown exception
  // reaches the caller as DISP_E_EXCEPTION with its text.
  virtual void Call(DISPID id, WORD kind, const std::vector<const VARIANT*>& args,
                    VARIANT* result) = 0;

  // For Call: the argument at `index`, or HostError when it is missing.
  static const VARIANT& Arg(const std::vector<const VARIANT*>& args, size_t index);

 private:
  std::vector<Member> members_;
  std::atomic<ULONG> references_{1};
};

}  // namespace vireo
