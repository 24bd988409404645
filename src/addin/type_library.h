// The server's type library: the dispatch interface of Connect with its
// three members, and the class, under the description the IDE's add-in
// manager shows, "Vireo Pro 5.0 Migration Utility (32-bit)". It is written
// beside the program at registration and registered from there.
#pragma once

#include <string>

#include "host/win32/windows_headers.h"

namespace vireo {

inline constexpr char kTypeLibraryDescription[] = "Vireo Pro 5.0 Migration Utility (32-bit)";

// {F5585EFE-F51C-4A43-BEA8-531EC861EEE0}
inline constexpr GUID kTypeLibraryId = {
    0xF5585EFE, 0xF51C, 0x4A43, {0xBE, 0xA8, 0x53, 0x1E, 0xC8, 0x61, 0xEE, 0xE0}};
// {83AAF911-A8B3-4B1F-A038-1C4369116FE4}, the dispatch interface _Connect.
inline constexpr GUID kConnectInterfaceId = {
    0x83AAF911, 0xA8B3, 0x4B1F, {0xA0, 0x38, 0x1C, 0x43, 0x69, 0x11, 0x6F, 0xE4}};

// Writes the library to `path` and registers it; false when either fails.
bool WriteAndRegisterTypeLibrary(const std::wstring& path);
// Removes the library's registration; one that is gone is no failure.
bool UnregisterTypeLibrary();

}  // namespace vireo
