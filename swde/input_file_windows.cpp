// Opening the input on Windows: a read-only view of a file mapping (the
// bytes as they are on disk, no text-mode translation), or ReadFile for
// what cannot be mapped (a pipe, the console).
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "diag/windows_text.h"
#include "swde/input_file.h"

namespace egib {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

void InputFile::release() {
  if (mapping_ != nullptr) UnmapViewOfFile(mapping_);
  mapping_ = nullptr;
  buffer_ = {};
  data_ = nullptr;
  size_ = 0;
  open_ = false;
}

InputFile InputFile::open(const std::string& path, std::string* error) {
  InputFile f;
  const Handle file(CreateFileW(native_path(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    *error = std::strerror(errno);
    return f;
  }
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) == FILE_TYPE_DISK && GetFileSizeEx(file.get(), &size) &&
      size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) <= SIZE_MAX) {
    // The view keeps the mapping (and the file) alive once the handles go.
    const Handle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    void* view =
        mapping.get() != nullptr ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view != nullptr) {
      f.mapping_ = view;
      f.data_ = static_cast<const char*>(view);
      f.size_ = static_cast<size_t>(size.QuadPart);
      f.open_ = true;
      return f;
    }
  }
  // Not mappable: read it whole.
  char block[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), block, sizeof block, &got, nullptr)) {
      // The writing end of a pipe closed: that is its end.
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      set_errno_from_last_error();
      *error = std::strerror(errno);
      return InputFile();
    }
    if (got == 0) break;
    f.buffer_.insert(f.buffer_.end(), block, block + got);
  }
  f.data_ = f.buffer_.data();
  f.size_ = f.buffer_.size();
  f.open_ = true;
  return f;
}

}  // namespace egib
