#include "core/play_list_file.h"

#include <string>

#include "core/os.h"

namespace kelvo {

namespace {

// Splits text-mode input into lines, a line ending at LF or after
// kMaxPlayListLine bytes; a line cut at the limit swallows an LF right after it.
class LineSplitter {
 public:
  explicit LineSplitter(const std::function<void(std::string_view)>& onEntry) : onEntry_(onEntry) {
    line_.reserve(256);
  }

  // Returns false once the end-of-file byte 0x1A has been met.
  bool Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      const char c = data[i];
      if (c == '\r') continue;
      if (c == '\x1a') {
        Finish();
        return false;
      }
      if (c == '\n') {
        if (cutAtLimit_) {
          cutAtLimit_ = false;
          continue;
        }
        Emit();
        continue;
      }
      cutAtLimit_ = false;
      line_.push_back(c);
      if (line_.size() == kMaxPlayListLine) {
        Emit();
        cutAtLimit_ = true;
      }
    }
    return true;
  }

  void Finish() {
    if (!line_.empty()) Emit();
  }

 private:
  void Emit() {
    std::string_view text(line_);
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    if (text != kPlayListHeader && text != kPlayListComment) onEntry_(text);
    line_.clear();
  }

  const std::function<void(std::string_view)>& onEntry_;
  std::string line_;
  bool cutAtLimit_ = false;
};

void AppendLine(std::string& text, std::string_view line) {
  text.append(line).append("\r\n");
}

}  // namespace

void ParsePlayListText(std::string_view bytes,
                       const std::function<void(std::string_view entry)>& onEntry) {
  LineSplitter splitter(onEntry);
  if (splitter.Feed(bytes.data(), bytes.size())) splitter.Finish();
}

std::string FormatPlayListText(int count, const std::function<std::string_view(int)>& pathAt) {
  std::string text;
  AppendLine(text, kPlayListHeader);
  for (int i = 0; i < count; ++i) AppendLine(text, pathAt(i));
  return text;
}

bool ReadPlayListFile(const std::string& path,
                      const std::function<void(std::string_view entry)>& onEntry) {
  LineSplitter splitter(onEntry);
  bool ended = false;
  const bool opened = ReadFileShared(path, [&](std::string_view chunk) {
    ended = !splitter.Feed(chunk.data(), chunk.size());
    return !ended;
  });
  if (opened && !ended) splitter.Finish();
  return opened;
}

std::optional<int> UnstorableEntry(int count, const std::function<std::string_view(int)>& pathAt) {
  for (int i = 0; i < count; ++i) {
    const std::string_view path = pathAt(i);
    // A line end or an end-of-file byte would read back as other entries; a
    // path that is one of the two recognised lines, or longer than a line is
    // read, would not read back as itself.
    if (path.find_first_of(std::string_view("\r\n\x1a\0", 4)) != std::string::npos ||
        path == kPlayListHeader || path == kPlayListComment || path.size() > kMaxPlayListLine)
      return i;
  }
  return std::nullopt;
}

bool WritePlayListFile(const std::string& path, int count,
                       const std::function<std::string_view(int)>& pathAt) {
  return ReplaceFile(path, [&](const std::function<bool(std::string_view)>& write) {
    // Blocks of lines go out in large writes.
    std::string block;
    block.reserve(128 * 1024);
    AppendLine(block, kPlayListHeader);
    for (int i = 0; i < count; ++i) {
      AppendLine(block, pathAt(i));
      if (block.size() >= 64 * 1024) {
        if (!write(block)) return false;
        block.clear();
      }
    }
    return write(block);
  });
}

}  // namespace kelvo
