// Internal to the win32 backend: the common controls, loaded on first use.
#pragma once

namespace platform::detail {

// Makes sure the progress bar class is registered: loads comctl32 from the
// system (the manifest picks version 6) and initialises it. Linking it
// statically would let the loader look for it beside the launcher first.
void LoadCommonControls();

}  // namespace platform::detail
