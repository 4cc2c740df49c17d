#include "swde/input_file.h"

#include <utility>

namespace egib {

InputFile::InputFile(InputFile&& other) noexcept {
  *this = std::move(other);
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    release();
    open_ = std::exchange(other.open_, false);
    size_ = std::exchange(other.size_, 0);
    mapping_ = std::exchange(other.mapping_, nullptr);
    buffer_ = std::move(other.buffer_);
    data_ = mapping_ != nullptr ? static_cast<const char*>(mapping_) : buffer_.data();
    other.data_ = nullptr;
  }
  return *this;
}

InputFile::~InputFile() {
  release();
}

InputFile InputFile::from_bytes(std::span<const char> bytes) {
  InputFile f;
  f.buffer_.assign(bytes.begin(), bytes.end());
  f.data_ = f.buffer_.data();
  f.size_ = f.buffer_.size();
  f.open_ = true;
  return f;
}

}  // namespace egib
