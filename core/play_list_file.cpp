#include "core/play_list_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kelvo {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

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

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The file that writing `path` really replaces: a symbolic link is followed.
std::string ResolveTarget(const std::string& path) {
  std::string target = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink(target.c_str(), buffer.data(), PATH_MAX);
    if (n < 0) return target;
    std::string link(buffer.data(), static_cast<std::size_t>(n));
    if (!link.empty() && link[0] != '/') {
      const auto slash = target.rfind('/');
      link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
    }
    target = link;
  }
  return target;
}

void AppendLine(std::string& text, std::string_view line) {
  text.append(line).append("\r\n");
}

}  // namespace

void ParsePlayListText(std::string_view bytes,
                       const std::function<void(std::string_view entry)>& onEntry) {
  LineSplitter splitter(onEntry);
  if (splitter.Feed(bytes.data(), bytes.size())) splitter.Finish();
}

std::string FormatPlayListText(int count, const std::function<const std::string&(int)>& pathAt) {
  std::string text;
  AppendLine(text, kPlayListHeader);
  for (int i = 0; i < count; ++i) AppendLine(text, pathAt(i));
  return text;
}

bool ReadPlayListFile(const std::string& path,
                      const std::function<void(std::string_view entry)>& onEntry) {
  if (path.empty()) return false;
  // Non-blocking so that a FIFO cannot hang the open; it is refused below.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Others may read the file while we do, but nobody may be writing it.
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return false;

  LineSplitter splitter(onEntry);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a read error ends the reading like the end of the file
    if (!splitter.Feed(buffer.data(), static_cast<std::size_t>(n))) return true;
  }
  splitter.Finish();
  return true;
}

bool WritePlayListFile(const std::string& path, int count,
                       const std::function<const std::string&(int)>& pathAt) {
  if (path.empty()) return false;
  const std::string target = ResolveTarget(path);

  mode_t mode = 0;
  Fd existing;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
    // Nobody may read the old list while it is being replaced.
    existing = Fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (existing.get() < 0 || ::flock(existing.get(), LOCK_EX | LOCK_NB) != 0) return false;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  const auto slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = (slash == std::string::npos ? std::string() : dir) + "." + name + ".XXXXXX";
  Fd out(::mkstemp(temp.data()));
  if (out.get() < 0) return false;

  bool ok = ::fchmod(out.get(), mode) == 0;
  // Blocks of lines go out in large writes.
  std::string block;
  block.reserve(128 * 1024);
  AppendLine(block, kPlayListHeader);
  for (int i = 0; ok && i < count; ++i) {
    AppendLine(block, pathAt(i));
    if (block.size() >= 64 * 1024) {
      ok = WriteAll(out.get(), block.data(), block.size());
      block.clear();
    }
  }
  ok = ok && WriteAll(out.get(), block.data(), block.size());
  ok = ok && ::fsync(out.get()) == 0;
  ok = ::close(out.release()) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
  return true;
}

}  // namespace kelvo
