// Internal to the win32 backend: what the process token says about the
// user the launcher runs as.
#pragma once

#include "platform/win32/windows_api.h"

#include <vector>

namespace platform::detail {

// One part of the process token (TokenUser, TokenOwner, ...) as the system
// fills it in; empty, with the last error set, when it cannot be read.
std::vector<unsigned char> TokenPart(TOKEN_INFORMATION_CLASS part);

}  // namespace platform::detail
