// Any bytes as a play-list file: the rows it gives, written and read again,
// are the same rows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/play_list.h"
#include "core/play_list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> entries;
  kelvo::ParsePlayListText(bytes, [&](std::string_view e) { entries.emplace_back(e); });

  // Into the list, as a file read in either mode would put them.
  kelvo::PlayListModel model(1);
  const bool insertMode = size > 0 && (data[0] & 1);
  int point = model.InsertionPoint(insertMode);
  for (const auto& e : entries) model.InsertEntry(point, e, insertMode);

  std::vector<std::string> rows;
  for (int r = 0; r < model.RowCount(); ++r) {
    const std::string_view path = model.Path(r);
    if (path.size() > kelvo::kMaxPlayListLine ||
        path.find_first_of(std::string_view("\r\n\0\x1a", 4)) != std::string::npos) {
      std::abort();  // a row the format cannot hold
    }
    rows.emplace_back(path);
  }

  const auto text = kelvo::FormatPlayListText(static_cast<int>(rows.size()),
                                              [&](int i) -> std::string_view { return rows[i]; });
  std::vector<std::string> again;
  kelvo::ParsePlayListText(text, [&](std::string_view e) { again.emplace_back(e); });
  if (again != rows) std::abort();
  return 0;
}
