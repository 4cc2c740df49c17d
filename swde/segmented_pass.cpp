#include "swde/segmented_pass.h"

namespace egib {

namespace {

bool is_object_head(const char* p, const char* end) {
  return end - p >= 3 && p[0] == 'R' && (p[1] == 'P' || p[1] == 'O') && p[2] == ',';
}

}  // namespace

std::vector<size_t> part_starts(std::span<const char> bytes, size_t first, size_t part_bytes) {
  std::vector<size_t> starts{first};
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  size_t target = first + part_bytes;
  while (target < bytes.size()) {
    // The first line start at or after target that opens an object head.
    const char* p = begin + target;
    bool found = false;
    while (p < end) {
      const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
      if (nl == nullptr) break;
      p = static_cast<const char*>(nl) + 1;
      if (is_object_head(p, end)) {
        found = true;
        break;
      }
    }
    if (!found) break;
    const auto at = static_cast<size_t>(p - begin);
    starts.push_back(at);
    target = at + part_bytes;
  }
  return starts;
}

}  // namespace egib
