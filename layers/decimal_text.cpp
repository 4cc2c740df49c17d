#include "layers/decimal_text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace egib {

namespace {
// A field of the legacy record: 99 characters and the terminating NUL.
constexpr size_t kDecimalChars = 100;
}  // namespace

double to_double(std::string_view s) {
  const char* first = s.data();
  const char* const stop = s.data() + s.size();
  if (first != stop && *first == '-') ++first;
  if (first != stop && ((*first >= '0' && *first <= '9') || *first == '.')) {
    double value = 0.0;
    const auto r = std::from_chars(s.data(), stop, value);
    if (r.ec == std::errc() && (r.ptr == stop || (*r.ptr != 'x' && *r.ptr != 'X'))) return value;
  }
  char text[kDecimalChars + 1];
  const size_t n = std::min(s.size(), sizeof text - 1);
  if (n > 0) std::memcpy(text, s.data(), n);
  text[n] = '\0';
  return std::strtod(text, nullptr);
}

long to_long(std::string_view s) {
  // Plain digits take the short way; anything else goes to strtol.
  if (!s.empty() && s.size() < 18) {
    size_t i = s[0] == '-' ? 1 : 0;
    if (i < s.size()) {
      long v = 0;
      for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
      if (i == s.size()) return s[0] == '-' ? -v : v;
    }
  }
  char text[kDecimalChars + 1];
  const size_t n = std::min(s.size(), sizeof text - 1);
  if (n > 0) std::memcpy(text, s.data(), n);
  text[n] = '\0';
  return std::strtol(text, nullptr, 10);
}

}  // namespace egib
