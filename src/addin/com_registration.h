// The server's COM registration under HKEY_CLASSES_ROOT: the ProgID
// "VIRAMU32.Connect", the class's local server (this program) and its type
// library.
#pragma once

#include <string>

namespace vireo {

// Writes the keys for the program at `server_path`, and its type library
// beside it; false when a key or the library could not be written.
bool RegisterServer(const std::wstring& server_path);
// Removes the keys; keys that are already gone are no failure.
bool UnregisterServer();

}  // namespace vireo
