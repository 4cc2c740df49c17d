// The transformation of a run: from an input system into an output system
// along the route the pair of codes chooses, with the 1965 correction of
// the run's variant where the route has one.  The systems and their grids
// are those of the table (coordinate_systems.h); the route table below
// decides how a pair goes, the converters' steps (grid_convert.h) and the
// correction (poly1965.h) do the work.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "geodesy/coordinate_systems.h"
#include "geodesy/grid_convert.h"

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

// The first row of the route table that matches the pair of codes.
Route choose_route(int input_system, int output_system);

// The conversion of one pair of codes and variant, resolved once where the
// run starts: its route, grids and correction, and what the run says about
// them.  Immutable, so any number of threads may convert with one transform
// at the same time.
class CoordinateTransform {
 public:
  CoordinateTransform(int input_system, int output_system, int variant);
  Route route() const { return route_; }
  int input_system() const { return in_; }
  int output_system() const { return out_; }
  int variant() const { return variant_; }
  // False when every pair stays as read, bit for bit.
  bool changes_coordinates() const;
  // The system the written coordinates are in (the output system when the
  // route converts them, the input system when they stay as read), or 0
  // when that is no system of the table.
  int written_system() const;
  // The 1965 zone whose correction the run applies, 0 for none.
  int corrected_zone() const;
  // One line for the run summary: the systems, the route and the
  // correction, e.g. "1965 zone 2 (EPSG:2172) -> 2000 zone 18 E
  // (EPSG:2177), 1965 zone 2 correction variant 2 (catalogue to
  // mathematical coordinates)".
  std::string description() const;
  // The line the user should see before the passes (a pair of different
  // codes that cannot be converted), empty when there is none; announce
  // writes it to the stream.
  std::string announcement() const;
  void announce(std::FILE* out) const;
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

// Converts the pairs (x[i] easting, y[i] northing) in place with the run's
// transform, printing the area warnings on out; always returns 0.  The
// same pair always gets the same bits.
int transform_vertices(std::span<double> x, std::span<double> y,
                       const CoordinateTransform& transform, std::FILE* out);

}  // namespace egib
