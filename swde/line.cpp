#include "swde/line.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace egib {

namespace {

// Bytes of plain lines: printable ASCII other than the comma, the
// semicolon, the apostrophe and the blank (the same in all three code
// pages); and, in Windows-1250 text, the bytes from 0x80 on, which need no
// conversion.  A line made only of these
// and commas, ended by a line end, is its own cleaned text.
enum : unsigned char { kOther = 0, kPlain = 1, kComma = 2, kEnd = 3 };

constexpr std::array<unsigned char, 256> make_classes(bool high_is_plain) {
  std::array<unsigned char, 256> c{};
  for (int b = 0x21; b < 0x7F; ++b) c[static_cast<size_t>(b)] = kPlain;
  c[static_cast<unsigned char>(',')] = kComma;
  c[static_cast<unsigned char>(';')] = kEnd;
  c[static_cast<unsigned char>('\'')] = kOther;
  c['\n'] = kEnd;
  c['\r'] = kEnd;
  c[0] = kEnd;
  if (high_is_plain) {
    for (int b = 0x80; b < 0x100; ++b) c[static_cast<size_t>(b)] = kPlain;
  }
  return c;
}

constexpr std::array<unsigned char, 256> kClassLatin2 = make_classes(false);
constexpr std::array<unsigned char, 256> kClassCp1250 = make_classes(true);

const std::array<unsigned char, 256>& classes_of(TextEncoding e) {
  return e == TextEncoding::kWindows1250 ? kClassCp1250 : kClassLatin2;
}

// Sixteen bytes of a line by what they are, one bit per byte.
struct Block {
  uint32_t newline = 0;
  uint32_t comma = 0;
  uint32_t end = 0;    // NUL, LF, CR, ';'
  uint32_t other = 0;  // neither plain nor comma nor end
};

// p has 16 readable bytes.
Block scan16(const char* p, bool high_is_plain) {
  Block k;
#if defined(__SSE2__)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto bits = [](__m128i x) { return static_cast<uint32_t>(_mm_movemask_epi8(x)); };
  k.newline = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
  const uint32_t semicolon = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8(';')));
  k.comma = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8(',')));
  k.end = k.newline | semicolon | bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))) |
          bits(_mm_cmpeq_epi8(v, _mm_setzero_si128()));
  // 0x21 .. 0x7E: the signed comparisons leave out every byte from 0x80.
  const uint32_t printable = bits(_mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x20)),
                                                _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F))));
  uint32_t plain =
      printable & ~k.comma & ~semicolon & ~bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
  if (high_is_plain) plain |= bits(v);
  k.other = ~(plain | k.comma | k.end) & 0xFFFF;
#else
  const auto& cls = high_is_plain ? kClassCp1250 : kClassLatin2;
  for (unsigned i = 0; i < 16; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    const uint32_t bit = uint32_t{1} << i;
    if (c == '\n') k.newline |= bit;
    if (cls[c] == kComma) k.comma |= bit;
    if (cls[c] == kEnd) k.end |= bit;
    if (cls[c] == kOther) k.other |= bit;
  }
#endif
  return k;
}

// Lines up to this long are split from their scan; longer ones on demand.
constexpr size_t kScanBlocks = 4;

uint64_t below(size_t n) {
  return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

}  // namespace

size_t Line::take(const char* p, size_t remaining, TextEncoding encoding, SwdeLine* scratch) {
  const bool high_is_plain = encoding == TextEncoding::kWindows1250;
  uint64_t comma = 0, end = 0, other = 0;
  size_t n = 0;
  for (size_t b = 0; b < kScanBlocks; ++b) {
    const size_t at = 16 * b;
    Block k;
    if (remaining >= at + 16) {
      k = scan16(p + at, high_is_plain);
    } else {
      // The last bytes of the input, padded with NULs (which end a line).
      char padded[16] = {};
      std::memcpy(padded, p + at, remaining - at);
      k = scan16(padded, high_is_plain);
    }
    comma |= static_cast<uint64_t>(k.comma) << at;
    end |= static_cast<uint64_t>(k.end) << at;
    other |= static_cast<uint64_t>(k.other) << at;
    if (k.newline != 0) {
      n = at + static_cast<size_t>(std::countr_zero(k.newline)) + 1;
      break;
    }
    if (remaining <= at + 16) {
      n = remaining;
      break;
    }
  }
  if (n == 0) {
    // A long line: its chunk as the reader cuts it, and the split on demand.
    n = chunk_length(p, remaining);
    assign(p, n, encoding, scratch);
    return n;
  }
  // The line runs to its first end character; plain bytes and commas only
  // before it make a plain line, split at its commas right away.
  const uint64_t ends = end & below(n);
  const size_t stop = ends != 0 ? static_cast<size_t>(std::countr_zero(ends)) : n;
  if ((other & below(stop)) != 0) {
    assign(p, n, encoding, scratch);
    return n;
  }
  uint64_t commas = comma & below(stop);
  // The code (field 0) from the scan itself: read back from fields_ just
  // after its two halves were stored, the view waited for the stores (a
  // load wider than each store is not forwarded from them).
  const size_t code_end = commas != 0 ? static_cast<size_t>(std::countr_zero(commas)) : stop;
  size_t k = 0;
  size_t start = 0;
  while (commas != 0) {
    if (k + 1 == kFieldCount) {  // more than eleven fields: the reader's own way
      assign(p, n, encoding, scratch);
      return n;
    }
    const auto at = static_cast<size_t>(std::countr_zero(commas));
    fields_[k++] = std::string_view(p + start, at - start);
    start = at + 1;
    commas &= commas - 1;
  }
  fields_[k++] = std::string_view(p + start, stop - start);
  for (size_t j = k; j < fields_used_; ++j) fields_[j] = {};
  fields_used_ = k;
  chunk_ = p;
  size_ = n;
  encoding_ = encoding;
  scratch_ = scratch;
  split_ = true;
  in_place_ = true;
  text_ = std::string_view(p, stop);
  code_ = std::string_view(p, code_end);
  return n;
}

void Line::assign(const char* chunk, size_t size, TextEncoding encoding, SwdeLine* scratch) {
  chunk_ = chunk;
  size_ = size;
  encoding_ = encoding;
  scratch_ = scratch;
  split_ = false;
  in_place_ = false;
  // The code is the bytes up to the first comma when they are plain; the
  // full split tells it otherwise (blanks, a long code, conversion).
  const auto& cls = classes_of(encoding);
  const auto* p = reinterpret_cast<const unsigned char*>(chunk);
  const unsigned char* const end = p + size;
  const unsigned char* q = p;
  while (q < end && cls[*q] == kPlain) ++q;
  const auto length = static_cast<size_t>(q - p);
  if ((q == end || cls[*q] == kComma || cls[*q] == kEnd) && length < kFieldChars - 1) {
    code_ = std::string_view(chunk, length);
    return;
  }
  split();
}

void Line::split() {
  split_ = true;
  fields_ = {};
  fields_used_ = kFieldCount;
  if (chunk_ == nullptr) {
    code_ = text_ = {};
    return;
  }
  const auto& cls = classes_of(encoding_);
  const auto* p = reinterpret_cast<const unsigned char*>(chunk_);
  const unsigned char* const end = p + size_;
  {
    // Plain lines in place: fields between commas, none longer than 98
    // characters, at most eleven of them.
    const unsigned char* field_start = p;
    const unsigned char* q = p;
    size_t k = 0;
    bool plain = true;
    for (; q < end; ++q) {
      const unsigned char c = cls[*q];
      if (c == kPlain) continue;
      if (c == kComma) {
        if (k + 1 == kFieldCount || static_cast<size_t>(q - field_start) >= kFieldChars - 1) {
          plain = false;
          break;
        }
        fields_[k++] = std::string_view(reinterpret_cast<const char*>(field_start),
                                        static_cast<size_t>(q - field_start));
        field_start = q + 1;
        continue;
      }
      if (c == kEnd) break;
      plain = false;
      break;
    }
    // A field that starts at a blank or the line's end belongs to the
    // cleaning; so does a comma at the end (the empty field after it is
    // the same either way).
    if (plain && static_cast<size_t>(q - field_start) < kFieldChars - 1) {
      fields_[k] = std::string_view(reinterpret_cast<const char*>(field_start),
                                    static_cast<size_t>(q - field_start));
      text_ = std::string_view(chunk_, static_cast<size_t>(q - p));
      code_ = fields_[0];
      return;
    }
    fields_ = {};
  }
  split_cleaned();
}

void Line::split_cleaned() {
  split_chunk(chunk_, size_, encoding_, *scratch_);
  text_ = scratch_->text;
  for (size_t k = 0; k < kFieldCount; ++k) fields_[k] = scratch_->field[k];
  code_ = fields_[0];
}

}  // namespace egib

namespace egib {

std::array<bool, 256> LineReader::wanted_first_bytes(std::string_view firsts) {
  std::array<bool, 256> wanted{};
  for (const char c : firsts) wanted[static_cast<unsigned char>(c)] = true;
  // Blanks are trimmed and an apostrophe becomes a blank: the code of such
  // a line begins further on.
  for (int c = 7; c <= 13; ++c) wanted[static_cast<size_t>(c)] = true;
  wanted[' '] = true;
  wanted['\''] = true;
  return wanted;
}

namespace {

#if defined(__SSE2__)
// Where the newlines of the 64 bytes at p are, one bit each.
uint64_t newlines_of_64(const char* p) {
  const __m128i newline = _mm_set1_epi8('\n');
  uint64_t ends = 0;
  for (int b = 0; b < 4; ++b) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * b));
    ends |=
        static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline))))
        << (16 * b);
  }
  return ends;
}

// Passes the lines that end within the 64 bytes at p (*pos their first),
// counting each, up to the first line after them that stops_at (given
// where it begins) or that begins at stop.  1: stopped there; 0: every
// line ending in the block passed; -1: no line ends in it (a line of 64
// bytes or more, for the reader's own cutting).  Each line passed is
// shorter than a chunk, so it counts as one line.
template <typename StopsAt>
int pass_lines_of_64(const char* p, size_t* pos, int32_t* lines, size_t stop, StopsAt stops_at) {
  uint64_t ends = newlines_of_64(p);
  size_t next = 0;
  while (ends != 0) {
    next = static_cast<size_t>(std::countr_zero(ends)) + 1;
    ends &= ends - 1;
    ++*lines;
    if (*pos + next >= stop || stops_at(p + next)) {
      *pos += next;
      return 1;
    }
  }
  if (next == 0) return -1;
  *pos += next;
  return 0;
}
#endif

}  // namespace

void LineReader::skip_lines_not_starting_with(const std::array<bool, 256>& wanted) {
  const char* const data = bytes_.data();
  const size_t size = bytes_.size();
  while (pos_ < stop_ && pos_ < size) {
    const char* p = data + pos_;
    if (wanted[static_cast<unsigned char>(*p)]) return;
#if defined(__SSE2__)
    if (size - pos_ > 64) {
      // The newlines of 64 bytes at once, and the first byte of each line
      // after them looked up: a section of vertices a part does not read
      // is passed at a few instructions a line.
      const int passed = pass_lines_of_64(p, &pos_, &lines_, stop_, [&](const char* line) {
        return wanted[static_cast<unsigned char>(*line)];
      });
      if (passed > 0) return;
      if (passed == 0) continue;
    }
#endif
    pos_ += chunk_length(p, size - pos_);
    ++lines_;
  }
}

void LineReader::skip_vertex_lines() {
  const char* const data = bytes_.data();
  const size_t size = bytes_.size();
  while (pos_ < stop_ && pos_ + 1 < size && data[pos_] == 'P' && data[pos_ + 1] == ',') {
    const char* p = data + pos_;
#if defined(__SSE2__)
    if (size - pos_ > 65) {
      // As for the lines not wanted: 64 bytes at a time, each line after a
      // newline looked at for its "P," (the byte after the block is there).
      const int passed = pass_lines_of_64(p, &pos_, &lines_, stop_, [](const char* line) {
        return line[0] != 'P' || line[1] != ',';
      });
      if (passed > 0) return;
      if (passed == 0) continue;
    }
#endif
    pos_ += chunk_length(p, size - pos_);
    ++lines_;
  }
}

namespace {

// Field k of a cleaned line: after its k-th comma, past its blanks, up to
// the next comma, less the blanks at its end; empty when there is none.
std::string_view field_of_text(std::string_view t, int k) {
  size_t start = 0;
  for (int c = 0; c < k; ++c) {
    start = t.find(',', start);
    if (start == std::string_view::npos) return {};
    ++start;
  }
  while (start < t.size() && t[start] == ' ') ++start;
  size_t end = t.find(',', start);
  if (end == std::string_view::npos) end = t.size();
  while (end > start && t[end - 1] == ' ') --end;
  return t.substr(start, end - start);
}

}  // namespace

std::string_view Line::whole_field(int k) {
  const std::string_view f = field(k);
  if (f.size() < kFieldChars - 1) return f;
  const std::string_view whole = field_of_text(text(), k);
  // The cleaned text and the split agree on every field the reader keeps
  // whole; a field it cut begins with what it kept.
  return whole.size() > f.size() && whole.substr(0, f.size()) == f ? whole : f;
}

bool Line::field_cut(int k) {
  if (in_place_) return false;  // 64 bytes at most, split at its commas alone
  const std::string_view f = field(k);
  if (f.empty()) return false;
  const std::string_view t = text();
  const std::string_view in_text = field_of_text(t, k);
  if (in_text.size() > f.size()) return true;  // past the field limit
  // A chunk of the full 499 bytes without its line end: the rest of the
  // line, and perhaps of this field, comes as the next chunk.
  return !in_text.empty() && in_text.data() + in_text.size() == t.data() + t.size() &&
         size_ == kLineChars - 1 && chunk_ != nullptr && chunk_[size_ - 1] != '\n';
}

}  // namespace egib
