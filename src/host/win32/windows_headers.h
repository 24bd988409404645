// The Windows headers as this program includes them: every file includes
// them through here. The MessageBox macro is taken away, as it would rename
// UserInterface::MessageBox; the program calls MessageBoxA by name.
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>
#include <tlhelp32.h>
// clang-format on

#undef MessageBox
