// One point object ("RP" of type G5PZG) as the collecting pass keeps it: a
// 256-byte record, zero-filled, stored as an element of the points array.
#pragma once

#include <cstddef>
#include <cstdint>

namespace egib {

inline constexpr int kPointText = 30;  // 29 characters + NUL

struct PointEntry {
  char id[kPointText];      // field 3 of the "RP" line
  char alt_id[kPointText];  // field 4 of the "RP" line
  double x;                 // easting: second coordinate of the P,G line
  double y;                 // northing: first coordinate of the P,G line
  double z;
  char g5nrp[kPointText];  // point number, "?" when the point has none
  char g5ozr[kPointText];
  char g5rkrg[kPointText];  // relation G5RKRG
  int32_t g5stb;
  int32_t g5zrd;
  int32_t g5bpp;
  int32_t g5rzg;
  int32_t g5rkrg_from_wl;  // 1 when g5rkrg came from a "WL" line, 0 from "WG"
  char reserved[56];
};

inline constexpr int kPointEntrySize = 256;
static_assert(sizeof(PointEntry) == kPointEntrySize);

}  // namespace egib
