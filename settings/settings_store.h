#pragma once
// The five option flags and the window placement, kept from one run to the next.

#include "core/player_core.h"
#include "settings/registry.h"

namespace kelvo {

// Defaults, then the stored flags and placement in order, then the status
// bar. A value that is not a 32-bit integer raises ERegistryException; the
// reads after it do not happen and the status bar is left as it was.
void LoadSettings(TPlayerCore& form, IFormView& view, const RegistryFactory& createRegistry);

// All five flags, and the placement while WindowPosMenu is checked. A failed
// write raises ERegistryException; the values after it are not written.
void SaveSettings(const TPlayerCore& form, const IFormView& view,
                  const RegistryFactory& createRegistry);

}  // namespace kelvo
