// Fuzz target: the SWDE line reader on arbitrary bytes.  Every line it
// hands out must be NUL-terminated within its arrays, whatever the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "swde/line_reader.h"

using namespace egib;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FilePtr file(std::tmpfile());
  if (!file) return 0;
  if (size > 0 && std::fwrite(data, 1, size, file.get()) != size) return 0;
  std::rewind(file.get());
  SwdeInput in(std::move(file));

  char header[kLineChars];
  read_header_line(in, header);
  if (std::memchr(header, '\0', sizeof header) == nullptr) std::abort();
  (void)is_accepted_header(header);

  static SwdeLine line;
  for (int lines = 0; lines < 1000000 && read_swde_line(in, line) == 1; ++lines) {
    if (std::memchr(line.text, '\0', sizeof line.text) == nullptr) std::abort();
    for (const auto& field : line.field) {
      if (std::memchr(field, '\0', sizeof field) == nullptr) std::abort();
    }
    // Number conversion of any field is defined.
    volatile double d = to_double(line.field[2]);
    volatile long l = to_long(line.field[3]);
    (void)d;
    (void)l;
  }
  return 0;
}
