// Fuzz target: the SWDE line reader on arbitrary bytes.  Every line it
// hands out must be NUL-terminated within its arrays, whatever the input,
// and the passes' line views must give the same fields in every code page.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "swde/line.h"
#include "swde/line_reader.h"

using namespace egib;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const char> bytes(reinterpret_cast<const char*>(data), size);
  SwdeInput in(InputFile::from_bytes(bytes));

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

  // The line views against the reader, line by line, in all three pages.
  for (const TextEncoding encoding :
       {TextEncoding::kIso8859_2, TextEncoding::kWindows1250, TextEncoding::kUtf8}) {
    SwdeInput reader(InputFile::from_bytes(bytes));
    reader.set_encoding(encoding);
    LineReader views(bytes, 0, bytes.size(), encoding);
    Line view;
    while (read_swde_line(reader, line) == 1) {
      if (!views.next(view)) std::abort();
      if (view.code() != std::string_view(line.field[0])) std::abort();
      for (int k = 0; k < kFieldCount; ++k) {
        if (view.field(k) != std::string_view(line.field[k])) std::abort();
      }
      if (view.text() != std::string_view(line.text)) std::abort();
      if (to_double(view.field(2)) != to_double(line.field[2]) &&
          !(to_double(line.field[2]) != to_double(line.field[2]))) {
        std::abort();
      }
      if (to_long(view.field(3)) != to_long(line.field[3])) std::abort();
    }
    if (views.next(view)) std::abort();
  }
  return 0;
}
