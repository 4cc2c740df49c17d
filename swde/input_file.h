// The bytes of the input file, read once: mapped into memory (the pages
// stay the page cache's and are given back under pressure), or, for what
// cannot be mapped (a pipe, a character device), read into memory whole.
// Both passes and all threads read the same bytes.  Opening and releasing
// are the platform's (input_file_posix.cpp, input_file_windows.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace egib {

class InputFile {
 public:
  InputFile() = default;
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // An input whose is_open() is false when the file cannot be opened or
  // read; *error then says why.
  static InputFile open(const std::string& path, std::string* error);
  // The given bytes, copied (for tests and fuzzing).
  static InputFile from_bytes(std::span<const char> bytes);

  bool is_open() const { return open_; }
  std::span<const char> bytes() const { return {data_, size_}; }
  uint64_t size() const { return size_; }

 private:
  void release();

  bool open_ = false;
  const char* data_ = nullptr;
  size_t size_ = 0;
  void* mapping_ = nullptr;  // the mapped view, given back in release()
  std::vector<char> buffer_;
};

}  // namespace egib
