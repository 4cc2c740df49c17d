#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "diag/file_system.h"

namespace egib {

FilePtr open_file(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
}

bool remove_file(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool make_directories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    errno = ec.value();
    return false;
  }
  if (!is_directory(path)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int seek_file(std::FILE* f, int64_t offset, int whence) {
  return ::fseeko(f, static_cast<off_t>(offset), whence);
}

int64_t tell_file(std::FILE* f) {
  return static_cast<int64_t>(::ftello(f));
}

bool append_shared(const std::string& path, std::string_view bytes) {
  // O_APPEND makes each write land at the end in one piece.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const ssize_t written = ::write(fd, bytes.data(), bytes.size());
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return written == static_cast<ssize_t>(bytes.size());
}

}  // namespace egib
