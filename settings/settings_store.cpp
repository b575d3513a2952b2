#include "settings/settings_store.h"

#include <utility>

namespace kelvo {

namespace {

struct Flag {
  const char* name;
  TMenuItem TPlayerCore::*item;
};

constexpr Flag kFlags[] = {
    {"RandomMenu", &TPlayerCore::RandomMenu},
    {"RepeatMenu", &TPlayerCore::RepeatMenu},
    {"StatusBarMenu", &TPlayerCore::StatusBarMenu},
    {"WindowPosMenu", &TPlayerCore::WindowPosMenu},
    {"InsertModeMenu", &TPlayerCore::InsertModeMenu},
};

struct Dimension {
  const char* name;
  int TWindowPlacement::*field;
};

constexpr Dimension kPlacement[] = {
    {"WindowTop", &TWindowPlacement::Top},
    {"WindowLeft", &TWindowPlacement::Left},
    {"WindowHeight", &TWindowPlacement::Height},
    {"WindowWidth", &TWindowPlacement::Width},
};

}  // namespace

void LoadSettings(TPlayerCore& form, IFormView& view, const RegistryFactory& createRegistry) {
  form.RandomMenu.Checked = true;
  form.RepeatMenu.Checked = true;
  form.StatusBarMenu.Checked = true;
  form.WindowPosMenu.Checked = true;
  form.InsertModeMenu.Checked = false;
  view.Changed(FormElement::Options);

  {
    const auto registry = createRegistry();
    if (registry->OpenKey(kSettingsKey, false)) {
      for (const auto& flag : kFlags) {
        if (!registry->ValueExists(flag.name)) continue;
        (form.*flag.item).Checked = registry->ReadInteger(flag.name) != 0;
        view.Changed(FormElement::Options);
      }
      // Each dimension is its own move or resize of the window.
      for (const auto& dimension : kPlacement) {
        if (!registry->ValueExists(dimension.name)) continue;
        auto placement = view.Placement();
        placement.*dimension.field = registry->ReadInteger(dimension.name);
        view.SetPlacement(placement);
      }
      registry->CloseKey();
    }
  }
  view.SetStatusBarVisible(form.StatusBarMenu.Checked);
}

void SaveSettings(const TPlayerCore& form, const IFormView& view,
                  const RegistryFactory& createRegistry) {
  const auto registry = createRegistry();
  if (!registry->OpenKey(kSettingsKey, true)) return;
  for (const auto& flag : kFlags) registry->WriteInteger(flag.name, (form.*flag.item).Checked);
  if (form.WindowPosMenu.Checked) {
    const auto placement = view.Placement();
    for (const auto& dimension : kPlacement)
      registry->WriteInteger(dimension.name, placement.*dimension.field);
  }
  registry->CloseKey();
}

}  // namespace kelvo
