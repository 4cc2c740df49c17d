// Run-wide state: the three conversion settings from the command line and
// the two output layers.  One instance per process, set up by the driver.
#pragma once

#include <cstdint>

#include "layers/layer_files.h"

namespace egib {

struct RunState {
  int32_t input_system = 0;
  int32_t output_system = 0;
  int32_t variant = 0;
  Layer parcel;    // "_DZE": parcel_shp / parcel_dbf
  Layer building;  // "_BUD": building_shp / building_dbf
  // Set when a shape or record could not be written; the run then ends
  // with a failure status after closing the layers.
  bool write_failed = false;
};

RunState& run_state();

}  // namespace egib
