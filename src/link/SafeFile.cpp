#include "link/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace panora {

namespace {

// Closes its descriptor when it goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::string DirName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* Kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

std::string NotRegular(const std::string& path, mode_t mode) {
  return path + ": it is " + Kind(mode) + ", not a regular file";
}

std::string Why(const std::string& what, const std::string& path, int e) {
  return what + " " + path + ": " + std::strerror(e);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n, off_t at, int& error) {
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, data, n, at);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    data += w;
    at += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// The name that is finally written when `path` is opened: symbolic links
// followed one by one, so that a dangling link gives the file it points to.
bool Resolve(const std::string& path, std::string& target, int& error) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        error = errno;
        return false;
      }
      target = current;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      target = current;
      return true;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
      error = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<std::size_t>(n));
    current = link.front() == '/' ? link : DirName(current) + "/" + link;
  }
  error = ELOOP;
  return false;
}

// Removes temporary files of `base` that no writer holds any more: a live
// writer keeps an exclusive lock on its temporary file until it is renamed.
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  const int dfd = ::dirfd(d);
  while (const dirent* e = ::readdir(d)) {
    if (!IsTempNameFor(e->d_name, base)) continue;
    Fd fd(::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat held {
    }, named{};
    if (!fd.Valid() || ::fstat(fd.Get(), &held) != 0 || !S_ISREG(held.st_mode)) continue;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;  // a writer is at work
    if (::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named))
      ::unlinkat(dfd, e->d_name, 0);
  }
  ::closedir(d);
}

// A new file beside `target`, created exclusively and locked (see
// RemoveStaleTemps), so that two writers never share one.
int CreateTemp(const std::string& target, mode_t mode, std::string& tempPath, int& error) {
  static std::atomic<unsigned> counter{0};
  const std::string prefix = DirName(target) + "/." + BaseName(target) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned tag = static_cast<unsigned>(::getpid()) * 2654435761u ^
                         static_cast<unsigned>(std::time(nullptr)) ^ (counter.fetch_add(1) * 40503u);
    char name[16];
    std::snprintf(name, sizeof name, "%08x.tmp", tag);
    tempPath = prefix + name;
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = errno;
      return -1;
    }
    // A cleaner that came between the creation and the lock took the file
    // away: start again with another name.
    struct stat st {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
    ::close(fd);
  }
  error = EEXIST;
  return -1;
}

bool CanFallBack(int e) {
  return e == EACCES || e == EPERM || e == EROFS || e == EBUSY || e == EXDEV;
}

}  // namespace

bool IsTempNameFor(const std::string& name, const std::string& base) {
  const std::string head = "." + base + ".";
  if (name.size() != head.size() + 12 || name.compare(0, head.size(), head) != 0) return false;
  if (name.compare(head.size() + 8, 4, ".tmp") != 0) return false;
  return std::all_of(name.begin() + static_cast<long>(head.size()),
                     name.begin() + static_cast<long>(head.size() + 8),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool ReadRegularFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& out,
                     std::string* error, FileReadResult* result) {
  FileReadResult r;
  const auto fail = [&](int e, std::string message) {
    r.errnum = e;
    if (error != nullptr) *error = std::move(message);
    if (result != nullptr) *result = r;
    return false;
  };
  // Looked at before opening, so that a device is never opened and a FIFO
  // never waited on; the descriptor is checked again against a swap.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail(errno, Why("cannot open", path, errno));
  if (!S_ISREG(st.st_mode))
    return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "cannot read " + NotRegular(path, st.st_mode));
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) return fail(errno, Why("cannot open", path, errno));
  if (::fstat(fd.Get(), &st) != 0) return fail(errno, Why("cannot read", path, errno));
  if (!S_ISREG(st.st_mode)) return fail(EINVAL, "cannot read " + NotRegular(path, st.st_mode));
  r.size = static_cast<std::uint64_t>(st.st_size);

  // With a known size the buffer is allocated once; files that report no
  // size (some virtual ones) grow it as the bytes come.
  const bool sized = st.st_size > 0;
  std::vector<std::uint8_t> buf(sized ? std::min<std::uint64_t>(r.size, limit)
                                      : std::min<std::size_t>(8192, limit));
  std::size_t used = 0;
  for (;;) {
    if (used == buf.size()) {
      if (sized || buf.size() >= limit) break;
      buf.resize(std::min(limit, buf.size() * 2));
    }
    const ssize_t n = ::read(fd.Get(), buf.data() + used, buf.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno, Why("cannot read", path, errno));
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  buf.resize(used);
  if (!sized) r.size = used;
  out = std::move(buf);
  if (result != nullptr) *result = r;
  return true;
}

bool WriteFileSafely(const std::string& path, std::span<const std::uint8_t> data, std::string* error,
                     FileWriteResult* result, mode_t newMode) {
  FileWriteResult r;
  const auto fail = [&](std::string message) {
    if (error != nullptr) *error = std::move(message);
    if (result != nullptr) *result = r;
    return false;
  };
  if (path.empty()) return fail("no file name to write to");

  // What is there now, links followed.
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return fail(Why("cannot write", path, errno));
  if (exists && !S_ISREG(st.st_mode))
    return fail("cannot write " + NotRegular(path, st.st_mode) + "; it is left as it is");
  int e = 0;
  if (!Resolve(path, r.target, e)) return fail(Why("cannot write", path, e));

  // An existing file must be writable for us as it is; otherwise it is left
  // alone, whatever its folder would allow.
  Fd file;
  if (exists) {
    file.Reset(::open(r.target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid()) return fail(Why("cannot write", path, errno) + "; it is left as it is");
    // Another writer may have renamed a new file over it since: what counts
    // is the file now open.
    if (::fstat(file.Get(), &st) != 0) return fail(Why("cannot write", path, errno));
    if (!S_ISREG(st.st_mode))
      return fail("cannot write " + NotRegular(path, st.st_mode) + "; it is left as it is");
  }

  // The normal way: a temporary file renamed over the target.
  std::string reason;  // why the file is written in place instead
  const std::string dir = DirName(r.target);
  RemoveStaleTemps(dir, BaseName(r.target));
  std::string temp;
  Fd tfd(CreateTemp(r.target, exists ? 0600 : newMode, temp, e));
  if (!tfd.Valid()) {
    if (!exists) return fail(Why("cannot create", r.target, e));
    if (!CanFallBack(e)) return fail(Why("cannot create a temporary file beside", r.target, e));
    reason = "the folder " + dir + " cannot take a temporary file (" + std::strerror(e) + ")";
  }
  if (tfd.Valid() && exists) {
    // The replacement keeps owner, group and permissions, or it is not made.
    struct stat ts {};
    if (::fstat(tfd.Get(), &ts) == 0 && (ts.st_uid != st.st_uid || ts.st_gid != st.st_gid)) {
      if (::fchown(tfd.Get(), st.st_uid, st.st_gid) != 0 || ::fstat(tfd.Get(), &ts) != 0 ||
          ts.st_uid != st.st_uid || ts.st_gid != st.st_gid)
        reason = "a replacement could not keep its owner and group";
    }
    if (reason.empty() && ::fchmod(tfd.Get(), st.st_mode & 07777) != 0)
      reason = std::string("a replacement could not keep its permissions (") + std::strerror(errno) + ")";
    if (!reason.empty()) {
      ::unlink(temp.c_str());
      tfd.Reset();
    }
  }
  if (tfd.Valid()) {
    bool ok = WriteAll(tfd.Get(), data.data(), data.size(), 0, e);
    if (ok && ::fsync(tfd.Get()) != 0) {
      ok = false;
      e = errno;
    }
    if (!ok) {
      ::unlink(temp.c_str());
      return fail(Why("cannot write", path, e));
    }
    // Renamed while still locked, so that no cleaner takes it first.
    if (::rename(temp.c_str(), r.target.c_str()) == 0) {
      tfd.Reset();
      // Make the rename itself durable; a failure here leaves a good file anyway.
      Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (d.Valid()) ::fsync(d.Get());
      if (result != nullptr) *result = r;
      return true;
    }
    e = errno;
    ::unlink(temp.c_str());
    tfd.Reset();
    if (!exists || !CanFallBack(e)) return fail(Why("cannot write", path, e));
    reason = std::string("it cannot be replaced (") + std::strerror(e) + ")";
  }

  // In place: not atomic, but it writes what the user may write.
  r.inPlace = true;
  e = 0;
  if (::ftruncate(file.Get(), 0) != 0)
    e = errno;
  else if (WriteAll(file.Get(), data.data(), data.size(), 0, e) && ::fsync(file.Get()) != 0)
    e = errno;
  if (e != 0) return fail(Why("cannot write", path, e) + " (in place, as " + reason + ")");
  std::fprintf(stderr, "%s: %s written in place: %s\n", program_invocation_short_name, r.target.c_str(),
               reason.c_str());
  if (result != nullptr) *result = r;
  return true;
}

}  // namespace panora
