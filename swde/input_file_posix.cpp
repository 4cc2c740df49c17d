// Opening the input on POSIX systems: mmap, or read() for what cannot be
// mapped.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "swde/input_file.h"

namespace egib {

namespace {

// Closes a descriptor when the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

void InputFile::release() {
  if (mapping_ != nullptr) ::munmap(mapping_, size_);
  mapping_ = nullptr;
  buffer_ = {};
  data_ = nullptr;
  size_ = 0;
  open_ = false;
}

InputFile InputFile::open(const std::string& path, std::string* error) {
  InputFile f;
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    *error = std::strerror(errno);
    return f;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    *error = std::strerror(errno);
    return f;
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto size = static_cast<size_t>(st.st_size);
    void* m = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (m != MAP_FAILED) {
      // Both passes read front to back; the kernel may read ahead far.
      ::madvise(m, size, MADV_SEQUENTIAL);
      f.mapping_ = m;
      f.data_ = static_cast<const char*>(m);
      f.size_ = size;
      f.open_ = true;
      return f;
    }
  }
  // Not mappable: read it whole.
  char block[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd.get(), block, sizeof block);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = std::strerror(errno);
      return InputFile();
    }
    f.buffer_.insert(f.buffer_.end(), block, block + got);
  }
  f.data_ = f.buffer_.data();
  f.size_ = f.buffer_.size();
  f.open_ = true;
  return f;
}

}  // namespace egib
