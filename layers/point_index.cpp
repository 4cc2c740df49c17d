#include "layers/point_index.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

namespace egib {

namespace {

// The point table and its lookups are hundreds of megabytes read at random
// for a large file: on huge pages a lookup is not also a miss of the
// address translation.  Asked for the whole pages inside [p, p + bytes),
// before they are first touched.
void advise_huge_pages(const void* p, size_t bytes) {
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
#if defined(MADV_HUGEPAGE)
  if (end > begin) {
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#else
  // No such hint here (Windows): the pages stay as the system gives them.
  static_cast<void>(begin);
  static_cast<void>(end);
#endif
}

// The first slot of a hash in a table of n slots (any n below 2^32): the
// low 32 bits of the hash scaled to n, so the table need not be a power of
// two; its upper 32 bits are the slots' tags.
size_t home_slot(uint64_t h, size_t n) {
  return static_cast<size_t>(((h & 0xFFFFFFFFULL) * n) >> 32);
}

size_t next_slot(size_t j, size_t n) {
  return j + 1 == n ? 0 : j + 1;
}

uint64_t mix(uint64_t h) {
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ULL;
  h ^= h >> 29;
  h *= 0x94D049BB133111EBULL;
  return h ^ (h >> 32);
}

}  // namespace

uint64_t identifier_hash(std::string_view key) {
  // Eight bytes at a time; identifiers are short.
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ key.size();
  const char* p = key.data();
  size_t n = key.size();
  while (n >= 8) {
    uint64_t w = 0;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
  }
  return mix(h);
}

void PointTable::add(std::string_view id, std::string_view alt_id, double x, double y) {
  records_.push_back({x, y, (uint64_t{text_.size()} << 16) | (id.size() << 8) | alt_id.size()});
  text_.insert(text_.end(), id.begin(), id.end());
  text_.insert(text_.end(), alt_id.begin(), alt_id.end());
}

void PointTable::set_warned(std::vector<Warned> warned) {
  warned_ = std::move(warned);
  warned_bits_.assign((size() + 63) / 64, 0);
  for (const Warned& w : warned_) warned_bits_[w.point / 64] |= uint64_t{1} << (w.point % 64);
}

const PointTable::Warned* PointTable::warned(size_t i) const {
  if (warned_bits_.empty() || (warned_bits_[i / 64] & (uint64_t{1} << (i % 64))) == 0) {
    return nullptr;
  }
  const auto it = std::lower_bound(warned_.begin(), warned_.end(), i,
                                   [](const Warned& w, size_t p) { return w.point < p; });
  return &*it;
}

void PointTable::swap_axes() {
  for (Record& r : records_) std::swap(r.x, r.y);
}

void PointTable::add_attributes(std::string_view nrp, std::string_view ozr, std::string_view rkrg,
                                const PointAttributes& attributes) {
  extra_at_.push_back(extra_.size());
  for (const std::string_view t : {nrp, ozr, rkrg}) {
    extra_.insert(extra_.end(), t.begin(), t.end());
    extra_length_.push_back(static_cast<uint8_t>(t.size()));
  }
  attributes_.push_back(attributes);
}

std::string_view PointTable::extra_text(size_t i, int which) const {
  uint64_t at = extra_at_[i];
  for (int k = 0; k < which; ++k) at += extra_length_[i * 3 + static_cast<size_t>(k)];
  return {extra_.data() + at,
          static_cast<size_t>(extra_length_[i * 3 + static_cast<size_t>(which)])};
}

void PointTable::append(const PointTable& later) {
  const uint64_t text_base = text_.size();
  text_.insert(text_.end(), later.text_.begin(), later.text_.end());
  const size_t first = records_.size();
  records_.insert(records_.end(), later.records_.begin(), later.records_.end());
  for (size_t i = first; i < records_.size(); ++i) records_[i].text += text_base << 16;
  const uint64_t extra_base = extra_.size();
  extra_.insert(extra_.end(), later.extra_.begin(), later.extra_.end());
  for (const uint64_t at : later.extra_at_) extra_at_.push_back(at + extra_base);
  extra_length_.insert(extra_length_.end(), later.extra_length_.begin(), later.extra_length_.end());
  attributes_.insert(attributes_.end(), later.attributes_.begin(), later.attributes_.end());
}

void PointTable::reserve(size_t points, size_t text_bytes, bool with_attributes) {
  records_.reserve(points);
  text_.reserve(text_bytes);
  advise_huge_pages(records_.data(), records_.capacity() * sizeof(Record));
  advise_huge_pages(text_.data(), text_.capacity());
  if (!with_attributes) return;
  // Grown as the parts come, these were copied at every doubling, each
  // copy into memory never touched before.
  attributes_.reserve(points);
  extra_at_.reserve(points);
  extra_length_.reserve(points * 3);
  extra_.reserve(text_bytes / 2);
}

void PointTable::clear() {
  text_.clear();
  records_.clear();
  extra_.clear();
  extra_at_.clear();
  extra_length_.clear();
  attributes_.clear();
  by_id_.clear();
  by_alt_id_.clear();
  indexed_ = false;
  warned_.clear();
  warned_bits_.clear();
}

void PointTable::build_table(bool alt, Table* table) const {
  const size_t n = size();
  // At most four fifths full.
  const size_t capacity = n + n / 4 + 16;
  *table = Table();
  table->reserve(capacity);
  advise_huge_pages(table->data(), capacity * sizeof(Slot));
  table->assign(capacity, Slot{0, 0});
  // In blocks: the hashes of a block first, each asking for its slot, then
  // the insertions, which find their slots at hand.
  constexpr size_t kBlock = 32;
  uint64_t hashes[kBlock];
  for (size_t block = 0; block < n; block += kBlock) {
    const size_t end = std::min(n, block + kBlock);
    for (size_t i = block; i < end; ++i) {
      const uint64_t h = identifier_hash(key_of(i, alt));
      hashes[i - block] = h;
      __builtin_prefetch(&(*table)[home_slot(h, capacity)], 1);
    }
    for (size_t i = block; i < end; ++i) {
      const uint64_t h = hashes[i - block];
      const auto tag = static_cast<uint32_t>(h >> 32);
      const std::string_view key = key_of(i, alt);
      for (size_t j = home_slot(h, capacity);; j = next_slot(j, capacity)) {
        Slot& s = (*table)[j];
        if (s.index_plus_one == 0) {
          s = {tag, static_cast<uint32_t>(i + 1)};
          break;
        }
        // The same identifier again: the first point keeps it.
        if (s.tag == tag) {
          const size_t k = s.index_plus_one - 1;
          if (key_of(k, alt) == key) break;
        }
      }
    }
  }
}

void PointTable::find_batch(std::span<Lookup> lookups) const {
  if (!indexed_ || size() == 0) {
    for (Lookup& l : lookups) l.found = kNone;
    return;
  }
  // Each step asks the memory for what the next needs.
  for (Lookup& l : lookups) {
    const Table& table = l.alt ? by_alt_id_ : by_id_;
    l.hash = identifier_hash(l.key);
    l.slot = home_slot(l.hash, table.size());
    __builtin_prefetch(&table[l.slot]);
  }
  for (Lookup& l : lookups) {
    const Table& table = l.alt ? by_alt_id_ : by_id_;
    const Slot& s = table[l.slot];
    if (s.index_plus_one != 0) __builtin_prefetch(&records_[s.index_plus_one - 1]);
  }
  for (Lookup& l : lookups) {
    const Table& table = l.alt ? by_alt_id_ : by_id_;
    const Slot& s = table[l.slot];
    if (s.index_plus_one != 0) {
      __builtin_prefetch(text_.data() + records_[s.index_plus_one - 1].text_at());
    }
  }
  for (Lookup& l : lookups) {
    l.found = probe(l.alt ? by_alt_id_ : by_id_, l.alt, l.key, l.hash, l.slot);
  }
}

void PointTable::build_indexes(int threads) {
  if (threads > 1 && size() > 4096) {
    std::thread second([this] { build_table(true, &by_alt_id_); });
    build_table(false, &by_id_);
    second.join();
  } else {
    build_table(false, &by_id_);
    build_table(true, &by_alt_id_);
  }
  indexed_ = true;
}

int64_t PointTable::probe(const Table& table, bool alt, std::string_view key, uint64_t hash,
                          size_t slot) const {
  const auto tag = static_cast<uint32_t>(hash >> 32);
  for (size_t j = slot;; j = next_slot(j, table.size())) {
    const Slot& s = table[j];
    if (s.index_plus_one == 0) return kNone;
    if (s.tag == tag) {
      const size_t k = s.index_plus_one - 1;
      if (key_of(k, alt) == key) return static_cast<int64_t>(k);
    }
  }
}

int64_t PointTable::find(const Table& table, bool alt, std::string_view key) const {
  if (table.empty()) return kNone;
  const uint64_t h = identifier_hash(key);
  return probe(table, alt, key, h, home_slot(h, table.size()));
}

int64_t PointTable::find_by_id(std::string_view key) const {
  return find(by_id_, false, key);
}

int64_t PointTable::find_by_alt_id(std::string_view key) const {
  return find(by_alt_id_, true, key);
}

}  // namespace egib
