#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

namespace calvane {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// The file that a write to `path` lands in: `path` itself, or for a symbolic link the file at the
// end of its chain of links (a relative link is read from the link's own folder). nullopt for a
// chain that does not end (a loop), as opening it would fail.
std::optional<std::string> FollowLinks(const std::string& path) {
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) return current;
    target.resize(static_cast<std::size_t>(n));
    if (target.empty() || target.front() != '/') {
      const std::size_t slash = current.rfind('/');
      target.insert(0, slash == std::string::npos ? std::string() : current.substr(0, slash + 1));
    }
    current = std::move(target);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  return ReplaceFileWithOutcome(path, bytes) == FileWriteOutcome::kWritten;
}

namespace {

FileWriteOutcome Replace(const std::string& path, std::string_view bytes, bool exchange) {
  // A link stays a link: the file it leads to is the one replaced, in its own folder.
  const std::optional<std::string> target = FollowLinks(path);
  if (!target) return FileWriteOutcome::kCannotCreate;
  // The replaced file keeps its permissions; a new file gets rw-r--r--.
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target->c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  std::string temporary = *target + ".tmp-XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return FileWriteOutcome::kCannotCreate;
  bool ok = ::fchmod(fd, mode) == 0;
  ok = ok && WriteAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  if (ok) {
    ok =
        exchange ? MoveOver(temporary, *target) : ::rename(temporary.c_str(), target->c_str()) == 0;
  }
  if (!ok) ::unlink(temporary.c_str());
  return ok ? FileWriteOutcome::kWritten : FileWriteOutcome::kWriteFailed;
}

}  // namespace

FileWriteOutcome ReplaceFileWithOutcome(const std::string& path, std::string_view bytes) {
  return Replace(path, bytes, false);
}

bool ReplaceRunFile(const std::string& path, std::string_view bytes) {
  return Replace(path, bytes, true) == FileWriteOutcome::kWritten;
}

bool MoveOver(const std::string& from, const std::string& to) {
  // Only a regular file is exchanged: a rename refuses to replace a folder, and so must this.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    // The old file now has the temporary name. Should it stay behind, the new one is in place
    // all the same.
    ::unlink(from.c_str());
    return true;
  }
  // No file to exchange with, or a file system without exchange (EINVAL): a rename.
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateNewFile(const std::string& path, std::string_view bytes) {
  return CreateNewFileWithOutcome(path, bytes) == FileWriteOutcome::kWritten;
}

FileWriteOutcome CreateNewFileWithOutcome(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    return errno == EEXIST ? FileWriteOutcome::kExists : FileWriteOutcome::kCannotCreate;
  }
  bool ok = WriteAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  if (!ok) ::unlink(path.c_str());
  return ok ? FileWriteOutcome::kWritten : FileWriteOutcome::kWriteFailed;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string JoinPath(const std::string& directory, std::string_view name) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(name);
  return path;
}

}  // namespace calvane
