#include "layers/point_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "driver/run_state.h"

namespace egib {

PointStore& point_store() {
  static PointStore store;
  return store;
}

namespace {

// The entry at a position, read straight from its slot: the lookups and
// orderings go through here millions of times.
const PointEntry& slot_entry(const Array* points, int32_t position) {
  return *static_cast<const PointEntry*>(points->data[position].ptr);
}

const PointEntry& entry_at(int32_t position) {
  return *static_cast<const PointEntry*>(Array_get_ptr(point_store().points, position));
}

// Whole-metre key of a coordinate, rounded half up.  Values outside the
// 32-bit range (and NaN, which damaged files can carry) are clamped so the
// ordering stays total.
int32_t rounded_key(double v) {
  const double r = std::floor(v + 0.5);
  if (!(r >= static_cast<double>(std::numeric_limits<int32_t>::min()))) {
    return std::numeric_limits<int32_t>::min();
  }
  if (r > static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(r);
}

template <typename T>
int three_way(T a, T b) {
  return (a > b) - (a < b);
}

using PointText = char (PointEntry::*)[kPointText];

// The first 16 bytes of an identifier as two big-endian words, zero
// padded: comparing prefixes as integers orders like strcmp, and only equal
// prefixes of long identifiers need the strings themselves.
struct KeyPrefix {
  uint64_t hi = 0;
  uint64_t lo = 0;
};

// strcmp(a, b) of two texts with the given prefixes.
int compare_text(const KeyPrefix& pa, const char* a, const KeyPrefix& pb, const char* b) {
  if (pa.hi != pb.hi) return pa.hi < pb.hi ? -1 : 1;
  if (pa.lo != pb.lo) return pa.lo < pb.lo ? -1 : 1;
  // Equal prefixes: equal texts unless both go on past 16 bytes.
  if ((pa.lo & 0xFF) == 0) return 0;
  return std::strcmp(a + 16, b + 16);
}

uint64_t text_hash(const char* s) {
  // FNV-1a over the bytes, mixed at the end; identifiers are short.
  uint64_t h = 0xCBF29CE484222325ULL;
  for (; *s != '\0'; ++s) h = (h ^ static_cast<unsigned char>(*s)) * 0x100000001B3ULL;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ULL;
  return h ^ (h >> 32);
}

using Table = std::vector<PointStore::Slot>;

const PointEntry* find_point(double xyz[3], const char* key, const Table& table, PointText text) {
  const PointStore& store = point_store();
  if (store.indexed && !table.empty()) {
    const uint64_t h = text_hash(key);
    const auto tag = static_cast<uint32_t>(h >> 32);
    const size_t mask = table.size() - 1;
    for (size_t i = h & mask; table[i].position >= 0; i = (i + 1) & mask) {
      if (table[i].tag != tag) continue;
      const PointEntry& e = slot_entry(store.points, table[i].position);
      if (std::strcmp(e.*text, key) == 0) {
        xyz[0] = e.x;
        xyz[1] = e.y;
        xyz[2] = 0.0;
        return &e;
      }
    }
  }
  std::printf("brak punktu ID=%s\n", key);
  ++run_state().stats.unresolved_references;
  return nullptr;
}

// One position of an ordering with the prefixes of its two keys and the
// hash of the first.
struct Keyed {
  KeyPrefix first;
  KeyPrefix second;
  uint64_t hash;
  int32_t position;
};

// The texts of the points are zero-padded: their prefix is their first
// 16 bytes as they stand.
KeyPrefix prefix_of_padded(const char (&text)[kPointText]) {
  uint64_t hi = 0;
  uint64_t lo = 0;
  std::memcpy(&hi, text, 8);
  std::memcpy(&lo, text + 8, 8);
  if constexpr (std::endian::native == std::endian::little) {
    return {__builtin_bswap64(hi), __builtin_bswap64(lo)};
  } else {
    return {hi, lo};
  }
}

// Orders positions by (first text, second text), as compare_by_id and
// compare_by_alt_id do, on prefixes computed once per point, and builds the
// hash table of the first texts: for each distinct one, its first position.
void order_positions(const Array* points, PointText first, PointText second,
                     std::vector<int32_t>* order, Table* table) {
  const auto n = static_cast<size_t>(points->length);
  std::vector<Keyed> keyed(n);
  for (size_t i = 0; i < n; ++i) {
    const PointEntry& e = slot_entry(points, static_cast<int32_t>(i));
    keyed[i] = {prefix_of_padded(e.*first), prefix_of_padded(e.*second), text_hash(e.*first),
                static_cast<int32_t>(i)};
  }
  std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    const PointEntry& ea = slot_entry(points, a.position);
    const PointEntry& eb = slot_entry(points, b.position);
    const int c = compare_text(a.first, ea.*first, b.first, eb.*first);
    if (c != 0) return c < 0;
    return compare_text(a.second, ea.*second, b.second, eb.*second) < 0;
  });
  order->resize(n);
  for (size_t i = 0; i < n; ++i) (*order)[i] = keyed[i].position;

  size_t capacity = 16;
  while (capacity < n + n / 3) capacity *= 2;  // at most three quarters full
  table->assign(capacity, PointStore::Slot{});
  const size_t mask = capacity - 1;
  for (size_t i = 0; i < n; ++i) {
    const Keyed& k = keyed[i];
    // Equal texts stand next to each other in the ordering: keep the first.
    if (i > 0) {
      const Keyed& prev = keyed[i - 1];
      if (prev.hash == k.hash &&
          compare_text(prev.first, slot_entry(points, prev.position).*first, k.first,
                       slot_entry(points, k.position).*first) == 0) {
        continue;
      }
    }
    for (size_t j = k.hash & mask;; j = (j + 1) & mask) {
      if ((*table)[j].position < 0) {
        (*table)[j] = {static_cast<uint32_t>(k.hash >> 32), k.position};
        break;
      }
    }
  }
}

}  // namespace

int compare_point_coords(const void* slot_a, const void* slot_b) {
  const auto* a = *static_cast<const PointEntry* const*>(slot_a);
  const auto* b = *static_cast<const PointEntry* const*>(slot_b);
  const int by_x = three_way(rounded_key(a->x), rounded_key(b->x));
  if (by_x != 0) return by_x;
  return three_way(rounded_key(a->y), rounded_key(b->y));
}

int compare_by_id(int32_t a, int32_t b) {
  const PointEntry& ea = entry_at(a);
  const PointEntry& eb = entry_at(b);
  const int primary = std::strcmp(ea.id, eb.id);
  return primary != 0 ? primary : std::strcmp(ea.alt_id, eb.alt_id);
}

int compare_by_alt_id(int32_t a, int32_t b) {
  const PointEntry& ea = entry_at(a);
  const PointEntry& eb = entry_at(b);
  const int primary = std::strcmp(ea.alt_id, eb.alt_id);
  return primary != 0 ? primary : std::strcmp(ea.id, eb.id);
}

int compare_key_id(const char* key, int32_t position) {
  return std::strcmp(key, entry_at(position).id);
}

int compare_key_alt_id(const char* key, int32_t position) {
  return std::strcmp(key, entry_at(position).alt_id);
}

void build_point_indexes() {
  PointStore& store = point_store();
  Array* points = store.points;
  const auto n = static_cast<size_t>(points->length);

  // The points in ascending order of their rounded easting and northing,
  // as a stable sort with compare_point_coords gives it, on keys rounded
  // once per point instead of once per comparison.
  struct CoordKey {
    int32_t x;
    int32_t y;
    void* slot;
  };
  std::vector<CoordKey> keys(n);
  for (size_t i = 0; i < n; ++i) {
    const auto* e = static_cast<const PointEntry*>(points->data[i].ptr);
    keys[i] = {rounded_key(e->x), rounded_key(e->y), points->data[i].ptr};
  }
  std::stable_sort(keys.begin(), keys.end(), [](const CoordKey& a, const CoordKey& b) {
    return a.x != b.x ? a.x < b.x : a.y < b.y;
  });
  for (size_t i = 0; i < n; ++i) points->data[i].ptr = keys[i].slot;
  keys = {};

  order_positions(points, &PointEntry::id, &PointEntry::alt_id, &store.by_id, &store.id_table);
  order_positions(points, &PointEntry::alt_id, &PointEntry::id, &store.by_alt_id,
                  &store.alt_id_table);
  store.indexed = true;
}

void release_points() {
  PointStore& store = point_store();
  if (store.points != nullptr) Array_free_all(store.points);
  store.points = nullptr;
  store.by_id = {};
  store.by_alt_id = {};
  store.id_table = {};
  store.alt_id_table = {};
  store.inline_pairs = {};
  store.indexed = false;
}

const PointEntry* find_point_by_id(double xyz[3], const char* key) {
  return find_point(xyz, key, point_store().id_table, &PointEntry::id);
}

const PointEntry* find_point_by_alt_id(double xyz[3], const char* key) {
  return find_point(xyz, key, point_store().alt_id_table, &PointEntry::alt_id);
}

}  // namespace egib
