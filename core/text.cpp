#include "core/text.h"

#include <cstdio>

namespace kelvo {

std::string FileNamePart(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WindowsFileNamePart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (lead) {
      ++i;  // the trail byte, whatever it is, is part of the character
      continue;
    }
    if (c == '\\' || c == ':') start = i + 1;
  }
  return std::string(path.substr(start));
}

std::string DirectoryOf(std::string_view path) {
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string CountText(bool listEmpty, int rowCount) {
  if (listEmpty) return "0 曲";
  return std::to_string(rowCount) + " 曲";
}

std::string LengthText(std::int64_t milliseconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(milliseconds / 60000),
                static_cast<long long>((milliseconds / 1000) % 60));
  return buffer;
}

std::string PrintableName(std::string_view name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\r') {
      shown += "<CR>";
    } else if (byte == '\n') {
      shown += "<LF>";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<0x%02X>", byte);
      shown += hex;
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

}  // namespace kelvo
