#include "layers/point_index.h"

#include <algorithm>
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

const PointEntry* find_point(double xyz[3], const char* key, const std::vector<int32_t>& order,
                             PointText text) {
  const PointStore& store = point_store();
  if (store.indexed && !order.empty()) {
    const auto it =
        std::lower_bound(order.begin(), order.end(), key, [text](int32_t position, const char* k) {
          return std::strcmp(entry_at(position).*text, k) < 0;
        });
    if (it != order.end()) {
      const PointEntry& e = entry_at(*it);
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
  Array_sort(store.points, compare_point_coords);
  const int32_t n = store.points->length;
  store.by_id.assign(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i) store.by_id[static_cast<size_t>(i)] = i;
  store.by_alt_id = store.by_id;
  std::sort(store.by_id.begin(), store.by_id.end(),
            [](int32_t a, int32_t b) { return compare_by_id(a, b) < 0; });
  std::sort(store.by_alt_id.begin(), store.by_alt_id.end(),
            [](int32_t a, int32_t b) { return compare_by_alt_id(a, b) < 0; });
  store.indexed = true;
}

void release_points() {
  PointStore& store = point_store();
  if (store.points != nullptr) Array_free_all(store.points);
  store.points = nullptr;
  store.by_id = {};
  store.by_alt_id = {};
  store.indexed = false;
}

const PointEntry* find_point_by_id(double xyz[3], const char* key) {
  return find_point(xyz, key, point_store().by_id, &PointEntry::id);
}

const PointEntry* find_point_by_alt_id(double xyz[3], const char* key) {
  return find_point(xyz, key, point_store().by_alt_id, &PointEntry::alt_id);
}

}  // namespace egib
