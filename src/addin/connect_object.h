// The automation class Connect ("VIRAMU32.Connect"): IDispatch by name for
// ConnectAddIn, DisconnectAddIn and AfterClick, over the shell's Connect.
#pragma once

#include "engine/project/convert_project.h"
#include "host/win32/dispatch.h"

namespace vireo {

// {CF0A9AAB-B98B-46C8-B7A9-6A3630EF5135}
inline constexpr CLSID kConnectClassId = {
    0xCF0A9AAB, 0xB98B, 0x46C8, {0xB7, 0xA9, 0x6A, 0x36, 0x30, 0xEF, 0x51, 0x35}};

inline constexpr DISPID kConnectAddInId = 1;
inline constexpr DISPID kDisconnectAddInId = 2;
inline constexpr DISPID kAfterClickId = 3;

// The server lives while objects or locks hold it: the last release ends
// its message loop.
void HoldServer();
void ReleaseServer();

// A new Connect object with one reference, holding the server; the
// services serve every click.
IDispatch* NewConnectObject(const RunServices& services);

}  // namespace vireo
