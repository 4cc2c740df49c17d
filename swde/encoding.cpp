#include "swde/encoding.h"

#include <array>
#include <cstring>
#include <thread>

namespace egib {

namespace {

// Code points of the Windows-1250 bytes 0x80..0xFF; 0 where the page has
// no character.
constexpr std::array<uint16_t, 128> kCp1250High = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  //
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  //
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  //
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  //
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  //
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  //
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  //
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  //
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  //
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  //
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  //
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  //
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  //
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  //
};

// Evidence of the two 8-bit pages, per byte: +1 for ISO 8859-2, -1 for
// Windows-1250, 0 for none.
constexpr std::array<signed char, 256> make_votes() {
  std::array<signed char, 256> v{};
  for (int b = 0x80; b <= 0x9F; ++b) v[static_cast<size_t>(b)] = -1;
  for (const int b : {0xB1, 0xB6, 0xBC, 0xA1, 0xA6, 0xAC}) v[static_cast<size_t>(b)] = 1;
  for (const int b : {0xB9, 0xA5}) v[static_cast<size_t>(b)] = -1;
  return v;
}
constexpr std::array<signed char, 256> kVotes = make_votes();

// Length of the UTF-8 sequence a lead byte starts; 0 for a byte that cannot
// start one.
int sequence_length(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// The range the first continuation byte must lie in, after lead bytes that
// would otherwise allow overlong forms, surrogates or code points past
// U+10FFFF.
bool first_continuation_ok(unsigned char lead, unsigned char b) {
  switch (lead) {
    case 0xE0:
      return b >= 0xA0 && b <= 0xBF;
    case 0xED:
      return b >= 0x80 && b <= 0x9F;
    case 0xF0:
      return b >= 0x90 && b <= 0xBF;
    case 0xF4:
      return b >= 0x80 && b <= 0x8F;
    default:
      return b >= 0x80 && b <= 0xBF;
  }
}

}  // namespace

std::string_view encoding_name(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kWindows1250:
      return "Windows-1250";
    case TextEncoding::kUtf8:
      return "UTF-8";
    default:
      return "ISO 8859-2";
  }
}

bool EncodingDetector::feed(std::span<const unsigned char> bytes) {
  const unsigned char* p = bytes.data();
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
    // Runs of plain ASCII, 32 bytes and then eight at a time, outside a
    // sequence (a county's file is almost all ASCII).
    if (pending_ == 0) {
      while (end - p >= 32) {
        uint64_t w[4];
        std::memcpy(w, p, sizeof w);
        if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ULL) != 0) break;
        p += 32;
      }
      while (end - p >= 8) {
        uint64_t w = 0;
        std::memcpy(&w, p, 8);
        if ((w & 0x8080808080808080ULL) != 0) break;
        p += 8;
      }
      if (p == end) break;
    }
    const unsigned char b = *p++;
    if (b < 0x80) {
      if (pending_ > 0) ++utf8_broken_;  // a sequence cut short
      pending_ = 0;
      continue;
    }
    windows_votes_ += kVotes[b] < 0 ? 1 : 0;
    iso_votes_ += kVotes[b] > 0 ? 1 : 0;
    if (pending_ > 0) {
      const bool ok = first_cont_ ? first_continuation_ok(static_cast<unsigned char>(lead_), b)
                                  : (b >= 0x80 && b <= 0xBF);
      if (ok) {
        first_cont_ = false;
        if (--pending_ == 0) ++utf8_valid_;
        continue;
      }
      ++utf8_broken_;
      pending_ = 0;
    }
    const int n = sequence_length(b);
    if (n == 0) {
      ++utf8_broken_;
    } else {
      pending_ = n - 1;
      lead_ = b;
      first_cont_ = true;
    }
  }
  // Settled: plenty of clean UTF-8, or plenty of broken UTF-8 with one
  // 8-bit page far ahead of the other.
  if (utf8_valid_ >= 4096 && utf8_broken_ == 0) return false;
  const int64_t lead = iso_votes_ > windows_votes_ ? iso_votes_ : windows_votes_;
  const int64_t other = iso_votes_ > windows_votes_ ? windows_votes_ : iso_votes_;
  return !(utf8_broken_ >= 4096 && utf8_valid_ * 10 < utf8_broken_ && lead >= 4096 &&
           other * 10 < lead);
}

void EncodingDetector::add(const EncodingDetector& later) {
  utf8_valid_ += later.utf8_valid_;
  utf8_broken_ += later.utf8_broken_;
  iso_votes_ += later.iso_votes_;
  windows_votes_ += later.windows_votes_;
}

TextEncoding detect_encoding(std::span<const char> bytes, int threads) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  EncodingDetector first, second;
  size_t half = bytes.size();
  if (threads > 1 && bytes.size() > (size_t{1} << 20)) {
    // Split after a line end, so that no UTF-8 sequence is cut.
    half = bytes.size() / 2;
    while (half < bytes.size() && data[half - 1] != '\n') ++half;
  }
  if (half < bytes.size()) {
    std::thread other([&] { second.feed({data + half, bytes.size() - half}); });
    first.feed({data, half});
    other.join();
    first.add(second);
  } else {
    first.feed({data, bytes.size()});
  }
  return first.result();
}

TextEncoding EncodingDetector::result() const {
  if (utf8_valid_ > 0 && utf8_valid_ >= 10 * utf8_broken_) return TextEncoding::kUtf8;
  if (windows_votes_ > iso_votes_) return TextEncoding::kWindows1250;
  return TextEncoding::kIso8859_2;
}

void cp1250_to_utf8(std::string_view text, std::string& out) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
      continue;
    }
    uint32_t cp = kCp1250High[b - 0x80];
    if (cp == 0) cp = 0xFFFD;
    if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

unsigned char cp1250_of_code_point(uint32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (size_t i = 0; i < kCp1250High.size(); ++i) {
    if (kCp1250High[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return 0;
}

size_t utf8_sequence_at(std::span<const unsigned char> text, size_t i) {
  const unsigned char b = text[i];
  const auto n = static_cast<size_t>(sequence_length(b));
  if (n == 0 || i + n > text.size() || !first_continuation_ok(b, text[i + 1])) return 0;
  for (size_t k = 2; k < n; ++k) {
    const unsigned char c = text[i + k];
    if (c < 0x80 || c > 0xBF) return 0;
  }
  return n;
}

size_t utf8_to_cp1250(std::span<const unsigned char> src, unsigned char* dst) {
  size_t out = 0;
  size_t i = 0;
  while (i < src.size()) {
    const unsigned char b = src[i];
    if (b < 0x80) {
      dst[out++] = b;
      ++i;
      continue;
    }
    const size_t n = utf8_sequence_at(src, i);
    if (n == 0) {
      dst[out++] = '?';
      ++i;
      continue;
    }
    uint32_t cp = n == 2 ? b & 0x1Fu : n == 3 ? b & 0x0Fu : b & 0x07u;
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (src[i + k] & 0x3Fu);
    const unsigned char mapped = cp1250_of_code_point(cp);
    dst[out++] = mapped != 0 ? mapped : '?';
    i += n;
  }
  return out;
}

}  // namespace egib
