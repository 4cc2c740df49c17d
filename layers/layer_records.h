// Writes assembled objects into their layers: the shape and the attribute
// record of each parcel, building and precinct, in order, and counts what
// the summary tells.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "layers/layer_files.h"
#include "layers/outline.h"

namespace egib {

struct LayerCounts {
  int64_t parcels_written = 0;
  int64_t buildings_written = 0;
  int64_t precincts_written = 0;
  int64_t vertices_written = 0;  // of parcels and buildings
  int64_t degenerate_outlines = 0;
  int64_t duplicate_parcel_ids = 0;  // identifiers written more than once
  int64_t duplicate_building_ids = 0;
};

// Counts how often each identifier was written.
class IdentifierCounter {
 public:
  // Returns the count of key after this occurrence; hash is
  // identifier_hash(key).
  uint32_t add(std::string_view key, uint64_t hash);
  // Asks the memory for the slot a later add of this hash looks at first.
  void prefetch(uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }

 private:
  struct Slot {
    uint64_t hash = 0;
    uint32_t text_at = 0;
    uint16_t length = 0;
    uint32_t count = 0;  // 0: empty
  };
  void grow();
  std::vector<Slot> slots_;
  std::string text_;
  size_t used_ = 0;
};

class LayerRecordWriter {
 public:
  // precincts may be a layer that was not created (no precinct layer).
  LayerRecordWriter(Layer& parcels, Layer& buildings, Layer& precincts)
      : parcels_(parcels), buildings_(buildings), precincts_(precincts) {}

  void write(const ObjectBatch& batch);
  const LayerCounts& counts() const { return counts_; }

 private:
  void write_one(const ObjectBatch& batch, const AssembledObject& o);
  const RecordTuple parcel_record_{LayerKind::kParcel};
  const RecordTuple building_record_{LayerKind::kBuilding};
  const RecordTuple precinct_record_{LayerKind::kPrecinct};
  std::vector<double> zeros_;  // the Z and M of every vertex

  Layer& parcels_;
  Layer& buildings_;
  Layer& precincts_;
  LayerCounts counts_;
  IdentifierCounter parcel_ids_;
  IdentifierCounter building_ids_;
};

}  // namespace egib
