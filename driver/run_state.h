// Run-wide state: the three conversion settings from the command line and
// the two output layers.  One instance per process, set up by the driver.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "layers/layer_files.h"

namespace egib {

// What a run did, for the summary at its end.
struct RunStats {
  int64_t parcels_written = 0;
  int64_t buildings_written = 0;
  int64_t vertices_written = 0;
  int64_t objects_without_vertex = 0;    // "error3": not written
  int64_t unresolved_references = 0;     // "brak punktu", unknown vertex lines
  int64_t lists_without_ring_start = 0;  // logged in err.log
  int64_t points_collected = 0;
  int64_t points_written = 0;     // with --points
  int64_t precincts_written = 0;  // with --precincts
  // Written all the same, but worth a look.
  int64_t degenerate_outlines = 0;     // fewer than three distinct vertices
  int64_t duplicate_parcel_ids = 0;    // identifiers written more than once
  int64_t duplicate_building_ids = 0;
};

struct RunState {
  int32_t input_system = 0;
  int32_t output_system = 0;
  int32_t variant = 0;
  Layer parcel;    // "_DZE": parcel_shp / parcel_dbf
  Layer building;  // "_BUD": building_shp / building_dbf
  Layer points;     // "_PKT", with --points
  Layer precincts;  // "_OBR", with --precincts
  // Coordinate pairs of the file put the easting first.
  bool swap_axes = false;
  RunStats stats;
  // How often each identifier was written, per layer.
  std::unordered_map<std::string, uint32_t> parcel_idents;
  std::unordered_map<std::string, uint32_t> building_idents;
};

RunState& run_state();

}  // namespace egib
