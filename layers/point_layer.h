// The boundary-point layer ("_PKT"): one point shape and record per point
// object (G5PZG) the collecting pass kept, in input order, its coordinates
// converted exactly as the outline vertices that reference it are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "geodesy/transform.h"
#include "layers/layer_files.h"
#include "layers/layer_records.h"
#include "layers/outline.h"
#include "layers/point_index.h"

namespace egib {

class ErrorLog;

// Where point i of the table is written: its converted coordinates; a point
// whose conversion warned is converted once more from the coordinates
// read, so that its warnings reach console in the order of the layer.
std::pair<double, double> written_point(const PointTable& points, size_t i,
                                        const CoordinateTransform& transform, std::FILE* console);

// Cells that follow each point's own in its record (the whole register's
// columns, added to the table before): width bytes a point, in its order.
struct TrailingCells {
  std::string_view cells;
  size_t width = 0;
  // When the cells are still being made, in order, by another thread:
  // waits until those of the first n points are in place and returns how
  // many are.
  std::function<size_t(size_t n)> wait_until;
};

// Writes every point of the table (converted already) into layer; the area
// warnings of the points that warn go to console, in order.  A point
// without coordinates is written as a null shape.  Texts wider than their
// columns are named in the error log and counted in *texts_cut.  A point
// that would take a file past limits.most is not written: *limit_failure
// says so and nothing more is written.  Returns how many were written.
// shapes_beside: the shapes are written on a thread of their own while the
// records are (the warnings then go to console from there, still in order).
int64_t write_point_layer(const PointTable& points, const CoordinateTransform& transform,
                          Layer& layer, std::FILE* console, ErrorLog& error_log, int64_t* texts_cut,
                          const LayerSizeLimits& limits, std::string* limit_failure,
                          const TrailingCells& trailing = {}, bool shapes_beside = false);

}  // namespace egib
