// SWDE line reader.  Every record of an SWDE file is one text line of
// comma-separated fields, the first being the record code ("RO", "D", "P",
// "X", ...).  Lines are read in chunks of at most 499 characters, cut at the
// first line end or ';' (the rest is a comment), apostrophes blanked, trimmed,
// converted from ISO 8859-2 to Windows-1250 and split into at most eleven
// fields of at most 99 characters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diag/error_log.h"
#include "layers/decimal_text.h"
#include "swde/encoding.h"
#include "swde/input_file.h"

namespace egib {

inline constexpr int kLineChars = 500;   // text buffer, 499 characters + NUL
inline constexpr int kFieldChars = 100;  // field buffer, 99 characters + NUL
inline constexpr int kFieldCount = 11;

struct SwdeLine {
  char text[kLineChars];
  char field[kFieldCount][kFieldChars];
  // Fields that may be non-empty from the last line read: the reader clears
  // only these, not all eleven, before it fills the next line.
  int fields_in_use = kFieldCount;

  const char* code() const { return field[0]; }
  bool code_is(const char* c) const { return std::strcmp(field[0], c) == 0; }
  bool field_is(int k, const char* v) const { return std::strcmp(field[k], v) == 0; }
  // Empty code or comment "C": ignored wherever it stands.
  bool is_ignorable() const { return field[0][0] == '\0' || code_is("C"); }
  bool is_object_end() const { return code_is("X") || code_is("XC"); }
  bool is_section_end() const { return code_is("SX") || code_is("SXC"); }
  bool is_file_end() const { return code_is("SWDEX") || code_is("SWDEXC"); }
};

// Length of the chunk that starts at p: at most 499 bytes, up to and
// including the first line end.  A longer line is read as several chunks,
// and every chunk counts as a line.
inline size_t chunk_length(const char* p, size_t remaining) {
  const size_t avail = remaining < kLineChars - 1 ? remaining : kLineChars - 1;
  const void* nl = std::memchr(p, '\n', avail);
  return nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - p) + 1 : avail;
}

// The input of the classic reading interface: the bytes of a file read in
// chunks, with a rewind.
class SwdeInput {
 public:
  explicit SwdeInput(InputFile file) : file_(std::move(file)) {}
  static SwdeInput open(const char* path);  // an input whose is_open() may be false

  bool is_open() const { return file_.is_open(); }
  // Next chunk into dst (kLineChars bytes); false at end of input.  The
  // chunk may hold NUL bytes; dst is NUL-terminated.
  bool read_chunk(char* dst, size_t* length = nullptr);
  // The same chunk in place; no NUL is appended.
  bool next_chunk(const char** data, size_t* length);
  void rewind() { pos_ = 0; }
  // Number of the last line read_swde_line read from this input (0 before
  // the first); a pass that reads the header on its own sets it to 1.
  int32_t line_number() const { return line_number_; }
  void set_line_number(int32_t n) { line_number_ = n; }
  uint64_t size() const { return file_.size(); }
  // Code page of the texts; lines are converted from it into Windows-1250.
  TextEncoding encoding() const { return encoding_; }
  void set_encoding(TextEncoding encoding) { encoding_ = encoding; }

 private:
  InputFile file_;
  size_t pos_ = 0;
  int32_t line_number_ = 0;
  TextEncoding encoding_ = TextEncoding::kIso8859_2;
};

// Cleans and splits one chunk into line: cut at the first NUL, CR, LF or
// ';', apostrophes blanked, trimmed, converted into Windows-1250 from the
// encoding, split into at most eleven fields.
void split_chunk(const char* chunk, size_t size, TextEncoding encoding, SwdeLine& line);

// Reads the next line into line; 1 when a line was read, 0 at the end of input
// or on a read error (line is then all empty).
int read_swde_line(SwdeInput& in, SwdeLine& line);

// Reads the header line as it stands (not cleaned, line end kept).
bool read_header_line(SwdeInput& in, char (&header)[kLineChars]);
// True for "SWDE.w.2.00..." and "SWDE.w.3.00..." headers.
bool is_accepted_header(const char* header);

// Copies the next comma-separated field of src into dst (capacity bytes) and
// returns where the next field starts, or null when the line holds no more.
char* next_swde_field(char* src, char* dst, int capacity);

int trim_right(char* s);
int trim_left(char* s);
int trim_both(char* s);
int is_blank(int c);
void latin2_to_cp1250(char* s);
void cp1250_to_latin2(char* s);

}  // namespace egib
