#include "swde/line_reader.h"

#include <array>
#include <charconv>
#include <cstdlib>

namespace egib {

int32_t line_number = 0;

namespace {

constexpr size_t kReadBlock = size_t{1} << 20;

// ISO 8859-2 -> Windows-1250 as a one-to-one byte permutation of 0x80..0xFF:
// the Polish and other letters that sit at different codes in the two pages
// are swapped with the codes they free, so no byte is ever lost.
constexpr std::array<std::array<unsigned char, 2>, 25> kLatin2ToCp1250Pairs{{
    {0x8A, 0xA9}, {0x8C, 0xA6}, {0x8D, 0xAB}, {0x8E, 0xAE}, {0x8F, 0xAC},
    {0x9A, 0xB1}, {0x9C, 0xB6}, {0x9D, 0xBB}, {0x9E, 0xB5}, {0x9F, 0xB7},
    {0xA1, 0xA5}, {0xA5, 0xBC}, {0xA6, 0x8C}, {0xA9, 0x8A}, {0xAB, 0x8D},
    {0xAC, 0x8F}, {0xAE, 0x8E}, {0xB1, 0xB9}, {0xB5, 0xBE}, {0xB6, 0x9C},
    {0xB7, 0xA1}, {0xB9, 0x9A}, {0xBB, 0x9D}, {0xBC, 0x9F}, {0xBE, 0x9E},
}};

struct CodeTables {
  unsigned char to_cp1250[256];
  unsigned char to_latin2[256];
  // Bytes that stop the line scan: NUL, LF, CR and ';'.  Apostrophes are
  // marked 2.
  unsigned char scan[256];
  unsigned char blank[256];
};

constexpr CodeTables make_tables() {
  CodeTables t{};
  for (int i = 0; i < 256; ++i) {
    t.to_cp1250[i] = static_cast<unsigned char>(i);
    t.to_latin2[i] = static_cast<unsigned char>(i);
    t.scan[i] = 0;
    t.blank[i] = (i >= 7 && i <= 13) || i == 32 ? 1 : 0;
  }
  for (const auto& p : kLatin2ToCp1250Pairs) {
    t.to_cp1250[p[0]] = p[1];
    t.to_latin2[p[1]] = p[0];
  }
  t.scan[0] = 1;
  t.scan[static_cast<unsigned char>('\n')] = 1;
  t.scan[static_cast<unsigned char>('\r')] = 1;
  t.scan[static_cast<unsigned char>(';')] = 1;
  t.scan[static_cast<unsigned char>('\'')] = 2;
  return t;
}

constexpr CodeTables kTables = make_tables();

inline bool blank(char c) {
  return kTables.blank[static_cast<unsigned char>(c)] != 0;
}

void clear_line(SwdeLine& line) {
  std::memset(&line, 0, sizeof line);
}

}  // namespace

SwdeInput::SwdeInput(FilePtr file) : file_(std::move(file)) {
  if (file_) buffer_.resize(kReadBlock);
}

SwdeInput SwdeInput::open(const char* path) {
  return SwdeInput(FilePtr(std::fopen(path, "rb")));
}

bool SwdeInput::refill() {
  if (eof_ || !file_) return false;
  // Keep nothing: read_chunk copies what it has taken before refilling.
  const size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
  pos_ = 0;
  end_ = got;
  read_total_ += got;
  if (hook_ != nullptr) hook_(read_total_, hook_context_);
  if (got < buffer_.size()) {
    if (std::ferror(file_.get())) error_ = true;
    eof_ = true;
  }
  return got > 0;
}

bool SwdeInput::read_chunk(char* dst, size_t* length) {
  size_t n = 0;
  constexpr size_t kMax = kLineChars - 1;
  while (n < kMax) {
    if (pos_ == end_ && !refill()) break;
    const size_t want = std::min(kMax - n, end_ - pos_);
    const char* src = buffer_.data() + pos_;
    const void* nl = std::memchr(src, '\n', want);
    const size_t take = nl ? static_cast<size_t>(static_cast<const char*>(nl) - src) + 1 : want;
    std::memcpy(dst + n, src, take);
    n += take;
    pos_ += take;
    if (nl) break;
  }
  dst[n] = '\0';
  consumed_ += n;
  if (length) *length = n;
  return n > 0;
}

void SwdeInput::rewind() {
  if (!file_) return;
  std::rewind(file_.get());
  pos_ = end_ = 0;
  consumed_ = 0;
  read_total_ = 0;
  eof_ = false;
  error_ = false;
}

int is_blank(int c) {
  return (c >= 7 && c <= 13) || c == 32 ? 1 : 0;
}

int trim_right(char* s) {
  int removed = 0;
  size_t n = std::strlen(s);
  while (n > 0 && blank(s[n - 1])) {
    s[--n] = '\0';
    ++removed;
  }
  return removed;
}

int trim_left(char* s) {
  size_t k = 0;
  while (s[k] != '\0' && blank(s[k])) ++k;
  if (k > 0) std::memmove(s, s + k, std::strlen(s + k) + 1);
  return static_cast<int>(k);
}

int trim_both(char* s) {
  return trim_right(s) + trim_left(s);
}

void latin2_to_cp1250(char* s) {
  if (s == nullptr) return;
  for (; *s; ++s) *s = static_cast<char>(kTables.to_cp1250[static_cast<unsigned char>(*s)]);
}

void cp1250_to_latin2(char* s) {
  if (s == nullptr) return;
  for (; *s; ++s) *s = static_cast<char>(kTables.to_latin2[static_cast<unsigned char>(*s)]);
}

char* next_swde_field(char* src, char* dst, int capacity) {
  dst[0] = '\0';
  if (src == nullptr || *src == '\0') return nullptr;
  int n = 0;
  for (;;) {
    if (n == capacity - 1) {
      dst[n] = '\0';
      return nullptr;
    }
    const char c = *src;
    if (c == '\0') {
      dst[n] = '\0';
      return src;
    }
    if (c == ',') {
      dst[n] = '\0';
      ++src;
      trim_both(src);
      return src;
    }
    dst[n++] = c;
    ++src;
  }
}

int read_swde_line(SwdeInput& in, SwdeLine& line) {
  char work[kLineChars];
  if (!in.read_chunk(work)) {
    clear_line(line);
    return 0;
  }
  ++line_number;

  // Cut at the first line end or ';', blanking apostrophes on the way.
  char* p = work;
  for (;;) {
    const unsigned char k = kTables.scan[static_cast<unsigned char>(*p)];
    if (k == 1) break;
    if (k == 2) *p = ' ';
    ++p;
  }
  *p = '\0';
  char* end = p;
  while (end > work && blank(end[-1])) --end;
  *end = '\0';
  char* begin = work;
  while (begin < end && blank(*begin)) ++begin;
  for (char* q = begin; q < end; ++q) {
    *q = static_cast<char>(kTables.to_cp1250[static_cast<unsigned char>(*q)]);
  }
  const size_t length = static_cast<size_t>(end - begin);
  std::memcpy(line.text, begin, length + 1);

  // Split.  The line's end is already trimmed, so trimming the rest after a
  // comma only has to skip its leading blanks.  A field of 99 characters or
  // more is cut to 99 and ends the split.
  int k = 0;
  const char* s = begin;
  while (k < kFieldCount) {
    char* dst = line.field[k];
    if (s == end) {
      dst[0] = '\0';
      break;
    }
    const void* comma = std::memchr(s, ',', static_cast<size_t>(end - s));
    const char* stop = comma ? static_cast<const char*>(comma) : end;
    const size_t n = static_cast<size_t>(stop - s);
    ++k;
    if (n >= kFieldChars - 1) {
      std::memcpy(dst, s, kFieldChars - 1);
      dst[kFieldChars - 1] = '\0';
      break;
    }
    std::memcpy(dst, s, n);
    dst[n] = '\0';
    if (!comma) break;
    s = stop + 1;
    while (s < end && blank(*s)) ++s;
  }
  for (; k < kFieldCount; ++k) line.field[k][0] = '\0';
  return 1;
}

bool read_header_line(SwdeInput& in, char (&header)[kLineChars]) {
  return in.read_chunk(header);
}

bool is_accepted_header(const char* header) {
  return std::strncmp(header, "SWDE.w.2.00", 11) == 0 ||
         std::strncmp(header, "SWDE.w.3.00", 11) == 0;
}

namespace {
template <typename IsEnd>
void skip_until(SwdeInput& in, SwdeLine& line, IsEnd is_end) {
  while (read_swde_line(in, line)) {
    if (is_end(line)) return;
  }
}
}  // namespace

void skip_to_object_end(SwdeInput& in, SwdeLine& line) {
  skip_until(in, line, [](const SwdeLine& l) { return l.is_object_end(); });
}

void skip_sn_section(SwdeInput& in, SwdeLine& line) {
  skip_until(in, line, [](const SwdeLine& l) { return l.is_section_end(); });
}

void skip_sp_section(SwdeInput& in, SwdeLine& line) {
  skip_until(in, line, [](const SwdeLine& l) { return l.is_section_end(); });
}

void skip_st_section(SwdeInput& in, SwdeLine& line) {
  while (read_swde_line(in, line)) {
    if (line.code_is("TD")) {
      skip_to_object_end(in, line);
      continue;
    }
    if (line.is_section_end()) return;
  }
}

double to_double(const char* s) {
  // Plain decimals take the fast, exactly rounded path; anything unusual
  // (blanks, '+', hex, inf/nan, out of range) goes to strtod.
  const char* first = s;
  if (*first == '-') ++first;
  if ((*first >= '0' && *first <= '9') || *first == '.') {
    const char* stop = s + std::strlen(s);
    double value = 0.0;
    const auto r = std::from_chars(s, stop, value);
    if (r.ec == std::errc() && *r.ptr != 'x' && *r.ptr != 'X') return value;
  }
  return std::strtod(s, nullptr);
}

long to_long(const char* s) {
  return std::strtol(s, nullptr, 10);
}

}  // namespace egib
