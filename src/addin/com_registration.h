// The server's COM registration under HKEY_CLASSES_ROOT: the ProgID
// "VIRAMU32.Connect" and the class's local server, this program.
#pragma once

#include <string>

namespace vireo {

inline constexpr char kTypeLibraryDescription[] = "Vireo Pro 5.0 Migration Utility (32-bit)";

// Writes the keys for the program at `server_path`; false when a key could
// not be written.
bool RegisterServer(const std::wstring& server_path);
// Removes the keys; keys that are already gone are no failure.
bool UnregisterServer();

}  // namespace vireo
