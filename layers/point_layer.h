// The boundary-point layer ("_PKT"): one point shape and record per point
// object (G5PZG) the collecting pass kept, in input order, its coordinates
// converted exactly as the outline vertices that reference it are.
#pragma once

#include <cstdint>

#include "array/array.h"
#include "layers/layer_files.h"

namespace egib {

// Writes every point of points (elements PointEntry, in input order) into
// layer; returns how many were written.
int64_t write_point_layer(const Array& points, Layer& layer, int input_system, int output_system,
                          int variant);

}  // namespace egib
