#include "addin/com_registration.h"

#include "addin/connect_object.h"
#include "addin/type_library.h"
#include "host/win32/windows_text.h"
#include "shell/registration.h"

namespace vireo {
namespace {

std::wstring ClassIdText() {
  wchar_t text[40] = {};
  ::StringFromGUID2(kConnectClassId, text, 40);
  return text;
}

bool SetKey(const std::wstring& key, const std::wstring& value) {
  HKEY handle;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
    return false;
  LONG written =
      ::RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
  return written == ERROR_SUCCESS;
}

bool DeleteTree(const std::wstring& key) {
  LONG result = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) {
    result = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
  }
  return false;
}

}  // namespace

bool RegisterServer(const std::wstring& server_path) {
  std::wstring prog_id = Wide(kAddInProgId);
  std::wstring description = Wide(kTypeLibraryDescription);
  std::wstring class_key = L"CLSID\\" + ClassIdText();
  bool ok = SetKey(prog_id, description);
  ok = SetKey(prog_id + L"\\CLSID", ClassIdText()) && ok;
  ok = SetKey(class_key, description) && ok;
  ok = SetKey(class_key + L"\\ProgID", prog_id) && ok;
  ok = SetKey(class_key + L"\\LocalServer32", L"\"" + server_path + L"\"") && ok;
  wchar_t library_id[40] = {};
  ::StringFromGUID2(kTypeLibraryId, library_id, 40);
  ok = SetKey(class_key + L"\\TypeLib", library_id) && ok;
  std::wstring library_path = server_path.substr(0, server_path.find_last_of(L'.')) + L".tlb";
  return WriteAndRegisterTypeLibrary(library_path) && ok;
}

bool UnregisterServer() {
  bool ok = UnregisterTypeLibrary();
  ok = DeleteTree(Wide(kAddInProgId)) && ok;
  return DeleteTree(L"CLSID\\" + ClassIdText()) && ok;
}

}  // namespace vireo
