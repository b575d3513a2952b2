#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "core/os.h"

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
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
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
  // Closes now; false when the close reported an error (a late write error).
  bool Close() { return fd_ < 0 || ::close(release()) == 0; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
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

constexpr std::size_t kTempSuffix = 6;

bool IsTempOf(std::string_view entry, std::string_view prefix) {
  return entry.size() == prefix.size() + kTempSuffix && entry.substr(0, prefix.size()) == prefix;
}

// Temporaries of `prefix` left by a save that was killed: a save under way
// holds a lock on its temporary, so one that can be locked is nobody's.
void RemoveStaleTemporaries(int dirFd, const std::string& prefix) {
  const int scanFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (scanFd < 0) return;
  DIR* dir = ::fdopendir(scanFd);
  if (dir == nullptr) {
    ::close(scanFd);
    return;
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTempOf(entry->d_name, prefix)) continue;
    Fd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937 engine(std::random_device{}());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kChars) - 2);
  std::string suffix;
  for (std::size_t i = 0; i < kTempSuffix; ++i) suffix.push_back(kChars[pick(engine)]);
  return suffix;
}

// Gives the nameless file `fd` a temporary name in the folder; empty when it
// cannot be named.
std::string NameTemporary(int fd, int dirFd, const std::string& prefix) {
  char procPath[64];
  std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + RandomSuffix();
    // Naming a descriptor directly needs a privilege; through /proc it does not.
    if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0 ||
        ::linkat(AT_FDCWD, procPath, dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return name;
    if (errno != EEXIST) return {};
  }
  return {};
}

// A new file in the folder that nobody else sees until it is named: a
// nameless one where the file system offers it, else a named temporary.
// The file is locked from the start, so that no other save takes it for
// a stale one.
Fd CreateTemporary(int dirFd, const std::string& prefix, mode_t mode, std::string& name) {
  Fd fd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (fd.get() >= 0) {
    name.clear();
    ::flock(fd.get(), LOCK_EX | LOCK_NB);
    return fd;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = prefix + RandomSuffix();
    fd = Fd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() >= 0) {
      ::flock(fd.get(), LOCK_EX | LOCK_NB);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  name.clear();
  return Fd();
}

}  // namespace

bool ReadFileShared(const std::string& path,
                    const std::function<bool(std::string_view chunk)>& onChunk) {
  if (path.empty()) return false;
  // Non-blocking so that a FIFO cannot hang the open; it is refused below.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Others may read the file while we do, but nobody may be writing it.
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return false;

  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (!onChunk(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) break;
  }
  return true;
}

bool ReplaceFile(
    const std::string& path,
    const std::function<bool(const std::function<bool(std::string_view)>& write)>& produce) {
  if (path.empty()) return false;
  const std::string target = ResolveTarget(path);
  const auto slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty()) return false;

  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() < 0) return false;
  const bool folderWritable = ::faccessat(dirFd.get(), ".", W_OK | X_OK, AT_EACCESS) == 0;

  struct stat st {};
  const bool exists = ::fstatat(dirFd.get(), name.c_str(), &st, 0) == 0;
  mode_t mode = 0;
  Fd existing;
  bool inPlace = false;
  if (exists) {
    // Root may write anything: a file nobody may write is read-only for
    // root too.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
        ::faccessat(dirFd.get(), name.c_str(), W_OK, AT_EACCESS) != 0)
      return false;
    mode = st.st_mode & 07777;
    inPlace = !folderWritable || st.st_nlink > 1;
    existing = Fd(::openat(dirFd.get(), name.c_str(),
                           (inPlace ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC));
    // Nobody may read the old list while it is being replaced.
    if (existing.get() < 0 || ::flock(existing.get(), LOCK_EX | LOCK_NB) != 0) return false;
  } else {
    if (!folderWritable) return false;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  const auto writer = [](int fd) {
    return [fd](std::string_view data) { return WriteAll(fd, data); };
  };

  if (inPlace) {
    bool ok = ::ftruncate(existing.get(), 0) == 0 && produce(writer(existing.get()));
    ok = ok && ::fsync(existing.get()) == 0;
    return existing.Close() && ok;
  }

  const std::string prefix = "." + name + ".";
  RemoveStaleTemporaries(dirFd.get(), prefix);
  std::string tempName;
  Fd out = CreateTemporary(dirFd.get(), prefix, mode, tempName);
  if (out.get() < 0) return false;

  bool ok = ::fchmod(out.get(), mode) == 0;
  // A file replaced by root keeps its owner.
  if (ok && exists && ::geteuid() == 0) ok = ::fchown(out.get(), st.st_uid, st.st_gid) == 0;
  ok = ok && produce(writer(out.get()));
  ok = ok && ::fsync(out.get()) == 0;
  if (ok && tempName.empty()) {
    tempName = NameTemporary(out.get(), dirFd.get(), prefix);
    ok = !tempName.empty();
  }
  ok = ok && ::renameat(dirFd.get(), tempName.c_str(), dirFd.get(), name.c_str()) == 0;
  // Closed only now: the lock keeps the named temporary ours until the rename.
  out.Close();
  if (!ok) {
    if (!tempName.empty()) ::unlinkat(dirFd.get(), tempName.c_str(), 0);
    return false;
  }
  // Make the rename itself durable.
  ::fsync(dirFd.get());
  return true;
}

TimeOfDay LocalTimeOfDay() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  TimeOfDay time;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  time.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return time;
}

}  // namespace kelvo
