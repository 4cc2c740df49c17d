// Code pages of SWDE files.  The format's own assumption is ISO 8859-2, but
// offices also export in Windows-1250 and in UTF-8.  The tables are always
// written in Windows-1250 (as their .cpg says), so every text of the input
// is converted into it while it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace egib {

enum class TextEncoding { kIso8859_2, kWindows1250, kUtf8 };

// "ISO 8859-2", "Windows-1250", "UTF-8".
std::string_view encoding_name(TextEncoding encoding);

// Tells the code page of a file from its bytes, fed in blocks of any size
// in file order.  Valid UTF-8 multi-byte sequences (outnumbering broken ones
// ten to one) mean UTF-8.  Otherwise the letters that the two 8-bit pages
// place differently are weighed: ą ś ź Ą Ś Ź at 0xB1 0xB6 0xBC 0xA1 0xA6
// 0xAC speak for ISO 8859-2; ą and Ą at 0xB9 and 0xA5 (š and Ľ in ISO 8859-2,
// which Polish text does not use) and any byte from 0x80 to 0x9F (never
// used by ISO 8859-2 text) speak for Windows-1250.  No evidence keeps
// ISO 8859-2.
class EncodingDetector {
 public:
  // Returns false once the evidence is overwhelming: more input would not
  // change the result.
  bool feed(std::span<const unsigned char> bytes);
  TextEncoding result() const;
  // Adds what another detector saw of the bytes that follow, when the
  // bytes before them end with a line end (no sequence runs over).
  void add(const EncodingDetector& later);

  int64_t utf8_sequences() const { return utf8_valid_; }
  int64_t utf8_broken() const { return utf8_broken_; }
  int64_t iso_letters() const { return iso_votes_; }
  int64_t windows_letters() const { return windows_votes_; }

 private:
  int64_t utf8_valid_ = 0;
  int64_t utf8_broken_ = 0;
  int64_t iso_votes_ = 0;
  int64_t windows_votes_ = 0;
  int pending_ = 0;         // continuation bytes still expected
  uint32_t lead_ = 0;       // lead byte of the sequence in progress
  bool first_cont_ = true;  // the next continuation byte is the first
};

// Length of the well-formed UTF-8 sequence that starts at text[i] (2 to 4
// bytes; no overlong forms, surrogates or code points past U+10FFFF), 0 when
// none starts there.
size_t utf8_sequence_at(std::span<const unsigned char> text, size_t i);

// Converts UTF-8 text into Windows-1250, one byte per character; characters
// the code page does not have, and broken sequences, become '?'.  dst needs
// room for src.size() bytes (the result is never longer).  Returns the
// length written.
size_t utf8_to_cp1250(std::span<const unsigned char> src, unsigned char* dst);

// The code page of a whole file, its two halves read by two threads when
// threads > 1 (split after a line end).
TextEncoding detect_encoding(std::span<const char> bytes, int threads);

// Appends Windows-1250 text to out as UTF-8 (the tables of the formats
// that hold Unicode); a byte the page leaves undefined becomes U+FFFD.
void cp1250_to_utf8(std::string_view text, std::string& out);

// The Windows-1250 byte of a Unicode code point, 0 when it has none.
unsigned char cp1250_of_code_point(uint32_t code_point);

}  // namespace egib
