#include "swde/line_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace egib {

namespace {

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
  // to_cp1250 with apostrophes turned into blanks: the bytes as the line
  // and its fields keep them.
  unsigned char cleaned[256];
  // The same for text that is Windows-1250 already.
  unsigned char cleaned_cp1250[256];
  // Classes of the raw bytes for the one-pass split.
  unsigned char kind[256];
};

constexpr unsigned char kOrdinary = 0;
constexpr unsigned char kStop = 1;  // NUL, LF, CR and ';' end the line
constexpr unsigned char kComma = 2;
constexpr unsigned char kBlank = 3;  // 7 to 13, space, and the apostrophe

constexpr CodeTables make_tables() {
  CodeTables t{};
  for (int i = 0; i < 256; ++i) {
    t.to_cp1250[i] = static_cast<unsigned char>(i);
    t.to_latin2[i] = static_cast<unsigned char>(i);
  }
  for (const auto& p : kLatin2ToCp1250Pairs) {
    t.to_cp1250[p[0]] = p[1];
    t.to_latin2[p[1]] = p[0];
  }
  for (int i = 0; i < 256; ++i) {
    t.cleaned[i] = t.to_cp1250[i];
    t.cleaned_cp1250[i] = static_cast<unsigned char>(i);
  }
  t.cleaned[static_cast<unsigned char>('\'')] = ' ';
  t.cleaned_cp1250[static_cast<unsigned char>('\'')] = ' ';
  for (int i = 0; i < 256; ++i) {
    const int c = t.cleaned[i];
    const bool stop = i == 0 || i == '\n' || i == '\r' || i == ';';
    const bool blank = (c >= 7 && c <= 13) || c == ' ';
    t.kind[i] = stop ? kStop : i == ',' ? kComma : blank ? kBlank : kOrdinary;
  }
  return t;
}

constexpr CodeTables kTables = make_tables();

void clear_line(SwdeLine& line) {
  line = SwdeLine{};
  line.fields_in_use = 0;
}

}  // namespace

SwdeInput SwdeInput::open(const char* path) {
  std::string error;
  return SwdeInput(InputFile::open(path, &error));
}

bool SwdeInput::next_chunk(const char** data, size_t* length) {
  const std::span<const char> all = file_.bytes();
  if (pos_ >= all.size()) {
    *length = 0;
    return false;
  }
  const char* src = all.data() + pos_;
  const size_t take = chunk_length(src, all.size() - pos_);
  pos_ += take;
  *data = src;
  *length = take;
  return true;
}

bool SwdeInput::read_chunk(char* dst, size_t* length) {
  const char* src = nullptr;
  size_t n = 0;
  next_chunk(&src, &n);
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
  if (length) *length = n;
  return n > 0;
}

int is_blank(int c) {
  return (c >= 7 && c <= 13) || c == 32 ? 1 : 0;
}

int trim_right(char* s) {
  int removed = 0;
  size_t n = std::strlen(s);
  while (n > 0 && is_blank(static_cast<unsigned char>(s[n - 1]))) {
    s[--n] = '\0';
    ++removed;
  }
  return removed;
}

int trim_left(char* s) {
  size_t k = 0;
  while (s[k] != '\0' && is_blank(static_cast<unsigned char>(s[k]))) ++k;
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
  const char* chunk = nullptr;
  size_t size = 0;
  if (!in.next_chunk(&chunk, &size)) {
    clear_line(line);
    return 0;
  }
  in.set_line_number(in.line_number() + 1);
  split_chunk(chunk, size, in.encoding(), line);
  return 1;
}

void split_chunk(const char* chunk, size_t size, TextEncoding encoding, SwdeLine& line) {
  // The line is the chunk up to its first NUL, CR, LF or ';', apostrophes
  // taken as blanks, trimmed of blanks on both sides, in Windows-1250; its
  // fields are split at commas, a field after a comma starting past its
  // blanks, a field of 99 characters or more cut to 99 and ending the split,
  // at most eleven fields.  One pass does it all; the blanks at the end of
  // the line are taken off the text and the last field afterwards.
  const auto* p = reinterpret_cast<const unsigned char*>(chunk);
  const unsigned char* cleaned = kTables.cleaned;
  unsigned char converted[kLineChars];
  if (encoding == TextEncoding::kUtf8) {
    size = utf8_to_cp1250({p, size}, converted);
    p = converted;
    cleaned = kTables.cleaned_cp1250;
  } else if (encoding == TextEncoding::kWindows1250) {
    cleaned = kTables.cleaned_cp1250;
  }
  const unsigned char* const chunk_end = p + size;

  char* const text_start = line.text;
  char* text = text_start;
  int k = 0;
  char* field = line.field[0];
  size_t length = 0;      // stored characters of the current field (at most 99)
  size_t raw_length = 0;  // its characters, the ones past 99 included
  bool skipping = true;   // blanks at the start of the line or after a comma
  bool splitting = true;
  int first_unset = 0;  // fields from here on are empty
  size_t trailing = 0;  // blanks at the current end of the text

  for (; p < chunk_end; ++p) {
    // Runs of ordinary characters of a field are the bulk of every file.
    if (splitting && !skipping) {
      const size_t room = kFieldChars - 1 - length;
      const unsigned char* run_end = p + std::min(room, static_cast<size_t>(chunk_end - p));
      const unsigned char* q = p;
      while (q < run_end && kTables.kind[*q] == kOrdinary) {
        const char c = static_cast<char>(cleaned[*q]);
        *text++ = c;
        field[length++] = c;
        ++q;
      }
      if (q != p) {
        raw_length += static_cast<size_t>(q - p);
        trailing = 0;
        p = q;
        if (p == chunk_end) break;
      }
    }
    const unsigned char kind = kTables.kind[*p];
    if (kind == kStop) break;
    const char c = static_cast<char>(cleaned[*p]);
    if (kind == kBlank) {
      if (skipping) {
        if (text != text_start) {  // not at the start of the line
          *text++ = c;
          ++trailing;
        }
        continue;
      }
      *text++ = c;
      ++trailing;
    } else {
      *text++ = c;
      trailing = 0;
      if (kind == kComma && splitting) {
        field[length] = '\0';
        if (length >= kFieldChars - 1 || k + 1 == kFieldCount) {
          splitting = false;
          first_unset = k + 1;
        } else {
          field = line.field[++k];
          length = 0;
          raw_length = 0;
          skipping = true;
        }
        continue;
      }
      skipping = false;
    }
    if (splitting) {
      ++raw_length;
      if (length < kFieldChars - 1) field[length++] = c;
    }
  }
  // Blanks at the end of the line belong to neither the text nor the field.
  text -= trailing;
  *text = '\0';
  if (splitting) {
    if (trailing >= raw_length) {
      length = 0;
    } else if (raw_length - trailing < length) {
      length = raw_length - trailing;
    }
    field[length] = '\0';
    first_unset = text == text_start ? 0 : k + 1;
  }
  for (int j = first_unset; j < line.fields_in_use; ++j) line.field[j][0] = '\0';
  line.fields_in_use = first_unset;
}

bool read_header_line(SwdeInput& in, char (&header)[kLineChars]) {
  size_t n = 0;
  const bool ok = in.read_chunk(header, &n);
  // A UTF-8 file may open with a byte order mark, which is no part of the
  // header.
  if (in.encoding() == TextEncoding::kUtf8 && n >= 3 &&
      std::memcmp(header, "\xEF\xBB\xBF", 3) == 0) {
    std::memmove(header, header + 3, n - 2);
    n -= 3;
  }
  return ok;
}

bool is_accepted_header(const char* header) {
  return std::strncmp(header, "SWDE.w.2.00", 11) == 0 ||
         std::strncmp(header, "SWDE.w.3.00", 11) == 0;
}

}  // namespace egib
