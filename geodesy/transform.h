// System codes and the transformation dispatcher: converts coordinates from
// an input system into an output system along the route the pair of codes
// chooses.
//
// System codes: 1..5 the zones of the 1965 system, 10 the 1992 grid, 15, 18,
// 21 and 24 the zones of the 2000 grid by central meridian.  Any other code
// names no system this program can convert (16, 17, 19, 20, 22 and 23 lie
// among the 2000 codes but have no zone parameters).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/projection.h"

namespace egib {

// How the vertices of a run go from the input into the output system; the
// first matching row of the route table decides.
enum class Route {
  kNothing,         // equal codes outside 1..5, or no route exists
  kPolynomialOnly,  // equal 1965 codes: the zone correction alone
  k1965To2000,      // correction of the source zone, then converted
  k2000To1965,      // converted, then correction of the target zone
  k1965To1965,      // correction of the source zone, through the 18 E zone
  k2000To2000,
  k1992To2000,
  k2000To1992,
  k1965To1992,  // correction of the source zone, then converted
  k1992To1965,  // converted, then correction of the target zone
};

constexpr bool is_zone_1965(int code) {
  return code >= 1 && code <= 5;
}
constexpr bool is_grid_2000(int code) {
  return code == 15 || code == 18 || code == 21 || code == 24;
}
constexpr bool is_known_system(int code) {
  return is_zone_1965(code) || code == 10 || is_grid_2000(code);
}

Route choose_route(int input_system, int output_system);

// The system the written coordinates are in (the output system when a
// route converts them, the input system when they stay as read), or 0 when
// that system is not one this program knows.
int written_system(int input_system, int output_system);

// The line the user should see before the passes when a pair of different
// codes cannot be converted; nothing otherwise.
void announce_conversion(int input_system, int output_system, int variant, std::FILE* out);

// "1965 zone 2 (EPSG:2172)", "1992 (EPSG:2180)", "unknown system 7".
std::string system_name(int system);
// One line for the run summary: the systems, the route and the correction.
std::string describe_conversion(int input_system, int output_system, int variant);

// The conversion of one pair of codes and variant, resolved once: its
// route, grids and correction.  Immutable, so any number of threads may
// convert with one transform at the same time.
class CoordinateTransform {
 public:
  CoordinateTransform(int input_system, int output_system, int variant);
  Route route() const { return route_; }
  int input_system() const { return in_; }
  int output_system() const { return out_; }
  int variant() const { return variant_; }
  // False when every pair stays as read, bit for bit.
  bool changes_coordinates() const;
  // Converts one pair in place (x easting, y northing); points outside the
  // area of a 1965 zone on the way are added to warnings.
  void convert(double& x, double& y, AreaWarnings& warnings) const;

 private:
  int in_, out_, variant_;
  Route route_;
  int side_ = 0;  // which side of the route the 1965 correction is on
  GridParameters from_{}, to_{};
  double cos_shift_ = 1, sin_shift_ = 0;  // of the meridians' difference
};

// Outlines share their boundary points: most vertices of a file are
// converted several times over.  The results of the last conversions are
// kept by the exact bits of the input pair, so a repeated pair costs one
// lookup; a conversion that warned is not kept, so every occurrence of such
// a vertex warns again.  The converters are deterministic, so a kept result
// is bit for bit the one they would give.  One cache per thread.
class ConversionCache {
 public:
  ConversionCache();
  // Converts x, y with the transform; true when the result was kept.
  bool convert(const CoordinateTransform& transform, double& x, double& y, AreaWarnings& warnings);
  // The calling thread's cache, emptied when it last served another
  // conversion.
  static ConversionCache& for_this_thread(const CoordinateTransform& transform);

 private:
  static constexpr int kSlotBits = 16;
  static constexpr size_t kSlots = size_t{1} << kSlotBits;
  struct Slot {
    uint64_t kx, ky;
    double x, y;
    bool used;
  };
  std::vector<Slot> slots_;
};

// Converts the pairs (x[i] easting, y[i] northing) in place from the input
// into the output system, with the 1965 correction of the variant where the
// route applies one; always returns 0.  The same pair always gets the same
// bits.
int transform_vertices(std::span<double> x, std::span<double> y, int input_system,
                       int output_system, int variant);

}  // namespace egib
