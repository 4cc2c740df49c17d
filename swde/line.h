// Lines of the input as the passes read them: views into the input's bytes
// rather than copies.  A line is split only as far as it is asked about:
// most lines a pass reads past need nothing but their record code.  Plain
// lines (printable characters and commas, short fields) are split in place;
// any other line goes through the full cleaning of the line reader, into a
// scratch record of the reader's.  Either way the fields are exactly those
// read_swde_line gives.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "swde/line_reader.h"

namespace egib {

class Line {
 public:
  std::string_view code() const { return code_; }
  bool code_is(std::string_view c) const { return code_ == c; }
  // Field k (0 to 10), empty when the line has none.
  std::string_view field(int k) {
    if (!split_) split();
    return fields_[static_cast<size_t>(k)];
  }
  bool field_is(int k, std::string_view v) { return field(k) == v; }
  // Whether field k was cut by the reader: at its limit of 99 characters
  // with more of the field in the line, or at the end of a line cut at its
  // limit of 499 characters.
  bool field_cut(int k);
  // Field k as the cleaned line holds it: the field itself, or, where the
  // reader cut it at 99 characters, the whole of it (as far as the line's
  // 499 characters go).
  std::string_view whole_field(int k);
  // The cleaned line.
  std::string_view text() {
    if (!split_) split();
    return text_;
  }
  // Split where it stands (a short line of plain bytes and commas): its
  // text and fields are its bytes, nothing of it cut or converted.
  bool split_in_place() const { return in_place_; }
  // Empty code or comment "C": ignored wherever it stands.
  bool is_ignorable() const { return code_.empty() || code_ == "C"; }
  // The chunk of the input the line was read from, as it stands.
  std::string_view chunk() const { return {chunk_, size_}; }
  bool is_object_end() const { return code_ == "X" || code_ == "XC"; }
  bool is_section_end() const { return code_ == "SX" || code_ == "SXC"; }
  bool is_file_end() const { return code_ == "SWDEX" || code_ == "SWDEXC"; }

  // Takes a chunk of the input; scratch holds the line when it needs the
  // full cleaning.  Empty chunk: the all-empty line of the end of input.
  void assign(const char* chunk, size_t size, TextEncoding encoding, SwdeLine* scratch);
  // Takes the next chunk of the input at p (remaining bytes from there) and
  // returns its length: one scan of its first 64 bytes finds the line end
  // and splits a plain line at once.
  size_t take(const char* p, size_t remaining, TextEncoding encoding, SwdeLine* scratch);

 private:
  void split();
  void split_cleaned();

  const char* chunk_ = nullptr;
  size_t size_ = 0;
  TextEncoding encoding_ = TextEncoding::kIso8859_2;
  SwdeLine* scratch_ = nullptr;
  bool split_ = true;
  // Split where it stands: a short line of plain bytes and commas only,
  // whose fields are the bytes between its commas (none of them cut).
  bool in_place_ = false;
  std::string_view code_;
  std::string_view text_;
  std::array<std::string_view, kFieldCount> fields_{};
  size_t fields_used_ = kFieldCount;  // fields past these are empty
};

// Reads the chunks of the input from a position, counting the lines it
// reads.  A pass over part of the input stops at the first place where its
// grammar can stop at or after a given position (at_stop); reading itself
// goes on to the end of the input.
class LineReader {
 public:
  LineReader(std::span<const char> bytes, size_t start, size_t stop, TextEncoding encoding)
      : bytes_(bytes), pos_(start), stop_(stop), encoding_(encoding) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The bytes with which a loop over the codes "RO", "RP", "SX" and "SXC"
  // can start (plus more, for a loop that looks at more codes).
  static std::array<bool, 256> wanted_first_bytes(std::string_view firsts);
  // The next line; false (and an all-empty line) at the end of input.
  bool next(Line& line) {
    if (pos_ >= bytes_.size()) {
      line.assign(nullptr, 0, encoding_, &scratch_);
      return false;
    }
    pos_ += line.take(bytes_.data() + pos_, bytes_.size() - pos_, encoding_, &scratch_);
    ++lines_;
    return true;
  }
  bool at_stop() const { return pos_ >= stop_; }
  // Where line, read by this reader, begins in the input.
  size_t offset_of(const Line& line) const {
    return static_cast<size_t>(line.chunk().data() - bytes_.data());
  }
  // Steps back before line, the last line read, so that the next call to
  // next() reads it again.
  void unread(const Line& line) { rewind(mark_before(line)); }
  // Reads past the lines, up to the stop position, whose record code can
  // be told from their first byte to be none that a loop looks at: the
  // loop looks only at codes beginning with a byte marked in wanted (and
  // a line beginning with a blank or an apostrophe may have any code, so
  // it is never passed over).  Counts them like next() does.
  void skip_lines_not_starting_with(const std::array<bool, 256>& wanted);
  // Reads past the lines, up to the stop position, that begin with the
  // bytes "P," (the vertices of a geometry list, for a loop that looks at
  // nothing in them), counting them like next() does.
  void skip_vertex_lines();
  // Where the reader is, to come back to: before a line read, or here.
  struct Mark {
    size_t position;
    int32_t lines;
  };
  Mark mark_before(const Line& line) const { return {offset_of(line), lines_ - 1}; }
  Mark mark() const { return {pos_, lines_}; }
  void rewind(const Mark& m) {
    pos_ = m.position;
    lines_ = m.lines;
  }
  size_t position() const { return pos_; }
  std::span<const char> bytes() const { return bytes_; }
  // Lines read so far: the number of the last line read, counted from the
  // reader's start.
  int32_t lines_read() const { return lines_; }
  TextEncoding encoding() const { return encoding_; }

 private:
  std::span<const char> bytes_;
  size_t pos_;
  size_t stop_;
  TextEncoding encoding_;
  int32_t lines_ = 0;
  SwdeLine scratch_{};
};

}  // namespace egib
