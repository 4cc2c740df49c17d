#include "swde/line.h"

#include <array>
#include <cstring>

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

}  // namespace

void Line::assign(const char* chunk, size_t size, TextEncoding encoding, SwdeLine* scratch) {
  chunk_ = chunk;
  size_ = size;
  encoding_ = encoding;
  scratch_ = scratch;
  split_ = false;
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
