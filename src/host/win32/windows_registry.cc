#include "host/win32/windows_registry.h"

#include "host/win32/windows_headers.h"

namespace vireo {

bool WindowsRegistry::KeyExists(const std::string& subkey) const {
  HKEY key = nullptr;
  bool found = ::RegOpenKeyA(HKEY_CLASSES_ROOT, subkey.c_str(), &key) == ERROR_SUCCESS;
  // Closed in both cases, as the old code did; closing no key does no harm.
  ::RegCloseKey(key);
  return found;
}

}  // namespace vireo
