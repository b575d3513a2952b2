// Any names dropped on the window, in either insertion mode: the list stays
// whole and every name that is not a play-list file becomes one row.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_view.h"
#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/scripted_dialogs.h"
#include "shell/file_list_form.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using namespace kelvo;
  testing::FakeView view;
  testing::FakeEventLoop loop;
  testing::FakeSystemMenu menu;
  testing::ScriptedDevice device(loop);
  testing::ScriptedDialogs dialogs;
  TFileListForm form(view, loop, device, menu, dialogs,
                     testing::MemoryRegistry::Factory(std::make_shared<testing::MemoryStore>()));
  form.InsertModeMenu.Checked = data[0] & 1;
  form.PlayList.Reset();
  int point = 0;
  for (int i = 0; i < (data[0] >> 1) % 5; ++i) form.PlayList.InsertEntry(point, "/r", false);
  form.PlayList.SetRow(data[0] % 7);

  // Names are separated by NUL bytes, as the shell hands them over. Play-list
  // names are turned into names of files that do not exist.
  std::vector<std::string> names{""};
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      names.emplace_back();
    } else {
      names.back().push_back(static_cast<char>(data[i]));
    }
  }
  int mediaNames = 0;
  for (auto& name : names) {
    if (kelvo::IsPlayListFileName(name))
      name = "/nonexistent/kelvo-fuzz/" + std::to_string(name.size()) + ".ini";
    mediaNames += !kelvo::IsPlayListFileName(name);
  }

  const int rowsBefore = form.PlayList.RowCount();
  const bool emptyLastRow = form.PlayList.Path(rowsBefore - 1).empty();
  testing::ListDropHandle drop(names);
  TMessage message{WM_DROPFILES, reinterpret_cast<std::uintptr_t>(&drop)};
  form.Dispatch(message);

  const auto& list = form.PlayList;
  if (drop.finished != 1 || !view.acceptingDrops) std::abort();
  if (list.RowCount() < 1 || list.Row() < 0 || list.Row() >= list.RowCount()) std::abort();
  // Each media name took a row; an empty last row may have been filled.
  const int grown = list.RowCount() - rowsBefore;
  if (grown != mediaNames && !(emptyLastRow && grown == mediaNames - 1)) std::abort();
  return 0;
}
