#pragma once
// The settings key "\Software\<organisation>\<application>" as the per-user
// QSettings file of that organisation and application: on Linux the INI file
// $XDG_CONFIG_HOME/<organisation>/<application>.conf (default ~/.config), the
// values as top-level keys.

#include "settings/registry.h"

namespace kelvo {

RegistryFactory QSettingsRegistryFactory();

}  // namespace kelvo
