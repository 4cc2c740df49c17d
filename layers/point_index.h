// The collected points and the two orderings through which outline
// references are resolved: by the point's identifier and by its second
// identifier.
#pragma once

#include <cstdint>
#include <vector>

#include "array/array.h"
#include "swde/axis_order.h"
#include "swde/point_entry.h"

namespace egib {

struct PointStore {
  Array* points = nullptr;         // elements: PointEntry
  std::vector<int32_t> by_id;      // positions, ascending by id, then alt_id
  std::vector<int32_t> by_alt_id;  // positions, ascending by alt_id, then id
  bool indexed = false;            // the orderings exist
  // Hash tables over the two orderings: for each distinct identifier
  // (second identifier) the first position of the ordering that holds it,
  // the one a binary search would find, in one or two probes.
  struct Slot {
    uint32_t tag = 0;       // upper hash bits, to skip most mismatches
    int32_t position = -1;  // -1: empty
  };
  std::vector<Slot> id_table;
  std::vector<Slot> alt_id_table;
  // Coordinates of vertices given inline ("P,G" in outlines) that the
  // collecting pass met, up to kInlineSample of them: what tells the axis
  // order of a file without point objects.
  static constexpr size_t kInlineSample = 65536;
  std::vector<WrittenPair> inline_pairs;
  void sample_inline(double first, double second) {
    if (inline_pairs.size() < kInlineSample) inline_pairs.push_back({first, second});
  }
};

PointStore& point_store();

// Comparators.  compare_point_coords takes two slot addresses (Array_sort's
// convention) and orders by easting, then northing, each rounded half up to
// whole metres.  The others compare the entries at two positions.
int compare_point_coords(const void* slot_a, const void* slot_b);
int compare_by_id(int32_t a, int32_t b);
int compare_by_alt_id(int32_t a, int32_t b);
// Key against the entry at a position.
int compare_key_id(const char* key, int32_t position);
int compare_key_alt_id(const char* key, int32_t position);

// Sorts the points by rounded coordinates and builds both orderings.
void build_point_indexes();
// Frees the points and the orderings.
void release_points();

// Resolves a reference.  Found: xyz receives the point's x and y and z = 0,
// and the entry is returned.  Not found: "brak punktu ID=%s\n" on the
// console, xyz untouched, null returned.
const PointEntry* find_point_by_id(double xyz[3], const char* key);
const PointEntry* find_point_by_alt_id(double xyz[3], const char* key);

}  // namespace egib
