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
  // Files of the layers past the size most readers assume (2 GiB).
  std::vector<std::string> large_files;
};

// The sizes a layer's files may reach.  A .shp or .dbf past 4 GiB cannot be
// written (the format counts in 32 bits); past 2 GiB many readers fail.
struct LayerSizeLimits {
  uint64_t most = (uint64_t{1} << 32) - 1;
  uint64_t warn_past = uint64_t{1} << 31;
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
  LayerRecordWriter(Layer& parcels, Layer& buildings, Layer& precincts,
                    const LayerSizeLimits& limits = {})
      : limits_(limits), parcels_(parcels), buildings_(buildings), precincts_(precincts) {}

  // False, with nothing more written, once a record would take a file of
  // a layer past the format's size limit (limit_failure() says which).
  bool write(const ObjectBatch& batch);
  const LayerCounts& counts() const { return counts_; }
  const std::string& limit_failure() const { return limit_failure_; }

 private:
  // The sizes the files of a layer have reached.
  struct FileSizes {
    uint64_t shp = 0;
    uint64_t dbf = 0;
    bool warned_shp = false;
    bool warned_dbf = false;
  };
  FileSizes& sizes_of(Layer& layer);
  bool fits(Layer& layer, const RecordTuple& tuple, const AssembledObject& o);
  bool write_one(const ObjectBatch& batch, const AssembledObject& o);
  const LayerSizeLimits limits_;
  FileSizes parcel_sizes_, building_sizes_, precinct_sizes_;
  std::string limit_failure_;
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
