#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "diag/file_system.h"
#include "diag/windows_text.h"

namespace egib {

std::wstring wide_of(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  }
  return w;
}

std::string utf8_of(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n,
                        nullptr, nullptr);
  }
  return s;
}

std::wstring native_path(const std::string& utf8) {
  std::wstring path = wide_of(utf8);
  if (path.empty() || path.rfind(L"\\\\?\\", 0) == 0) return path;
  // The limit applies to the absolute path: a short relative name in a deep
  // working directory passes it too.  CreateDirectory stops at 248
  // characters, the other calls at 260.
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n < 240) return path;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return path;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

void set_errno_from_last_error() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      errno = EACCES;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
      errno = ENAMETOOLONG;
      break;
    case ERROR_DIRECTORY:
      errno = ENOTDIR;
      break;
    default:
      errno = EIO;
      break;
  }
}

namespace {

// Closes a handle when the scope ends.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE h_;
};

}  // namespace

FilePtr open_file(const std::string& path, const char* mode) {
  const std::string_view m(mode);
  const bool plus = m.find('+') != std::string_view::npos;
  DWORD access = 0;
  DWORD disposition = 0;
  int flags = _O_BINARY;
  std::string stdio_mode;
  switch (m.empty() ? 'r' : m[0]) {
    case 'r':
      access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
      disposition = OPEN_EXISTING;
      flags |= plus ? _O_RDWR : _O_RDONLY;
      stdio_mode = plus ? "r+b" : "rb";
      break;
    case 'w':
      access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      disposition = CREATE_ALWAYS;
      flags |= plus ? _O_RDWR : _O_WRONLY;
      stdio_mode = plus ? "w+b" : "wb";
      break;
    case 'a':
      access = FILE_APPEND_DATA | (plus ? GENERIC_READ : 0);
      disposition = OPEN_ALWAYS;
      flags |= _O_APPEND | (plus ? _O_RDWR : _O_WRONLY);
      stdio_mode = plus ? "a+b" : "ab";
      break;
    default:
      errno = EINVAL;
      return nullptr;
  }
  Handle h(CreateFileW(native_path(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h.get()), flags);
  if (fd < 0) return nullptr;
  h.release();  // the descriptor owns it now
  FilePtr f(_fdopen(fd, stdio_mode.c_str()));
  if (!f) _close(fd);
  return f;
}

bool remove_file(const std::string& path) {
  if (DeleteFileW(native_path(path).c_str())) return true;
  set_errno_from_last_error();
  return false;
}

bool replace_file(const std::string& from, const std::string& to) {
  // rename() refuses to replace an existing file here.
  if (MoveFileExW(native_path(from).c_str(), native_path(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  set_errno_from_last_error();
  return false;
}

bool is_directory(const std::string& path) {
  const DWORD a = GetFileAttributesW(native_path(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool make_directories(const std::string& path) {
  // Each level in turn, from the root, all through the wide calls (a
  // directory named in UTF-8 comes out with the same letters as the files
  // later opened in it).
  std::wstring full = native_path(path);
  for (wchar_t& c : full) {
    if (c == L'/') c = L'\\';
  }
  while (full.size() > 1 && full.back() == L'\\') full.pop_back();
  // Skip the root: "\\?\C:\", "\\?\UNC\server\share\", "C:\", "\" ...
  size_t start = 0;
  if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    start = full.find(L'\\', full.find(L'\\', 8) + 1);
  } else if (full.rfind(L"\\\\?\\", 0) == 0) {
    start = 7;
  } else if (full.size() >= 2 && full[1] == L':') {
    start = 3;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    start = full.find(L'\\', full.find(L'\\', 2) + 1);
  }
  for (size_t pos = start; pos != std::wstring::npos && pos <= full.size();) {
    const size_t next = full.find(L'\\', pos);
    const std::wstring level = full.substr(0, next);
    if (!level.empty() && level.size() > start && !CreateDirectoryW(level.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      set_errno_from_last_error();
      return false;
    }
    pos = next == std::wstring::npos ? next : next + 1;
  }
  if (!is_directory(path)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

int seek_file(std::FILE* f, int64_t offset, int whence) {
  return _fseeki64(f, offset, whence);
}

int64_t tell_file(std::FILE* f) {
  return _ftelli64(f);
}

bool append_shared(const std::string& path, std::string_view bytes) {
  // O_APPEND is not atomic across processes here: without the lock,
  // concurrent runs overwrite each other's messages.
  Handle h(CreateFileW(native_path(path).c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return false;
  }
  OVERLAPPED whole{};
  if (!LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    set_errno_from_last_error();
    return false;
  }
  DWORD written = 0;
  const BOOL ok =
      WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  if (!ok) set_errno_from_last_error();
  OVERLAPPED again{};
  UnlockFileEx(h.get(), 0, MAXDWORD, MAXDWORD, &again);
  return ok && written == bytes.size();
}

}  // namespace egib
