// The host IDE's add-in object model reached late-bound through IDispatch,
// member by member by name, as the add-in reaches the real IDE. A member the
// host cannot answer throws HostError.
#pragma once

#include <memory>

#include "host/ide.h"
#include "host/win32/dispatch.h"

namespace vireo {

// `application` is the host instance given to ConnectAddIn. `sink` is the
// add-in's own Connect object: the menu item's ConnectEvents receives it
// (not owned: the Connect object outlives its connection).
std::shared_ptr<IdeApplication> MakeDispatchIde(IDispatch* application, IDispatch* sink);

}  // namespace vireo
