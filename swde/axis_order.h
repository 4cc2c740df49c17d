// Order of the two numbers of an SWDE coordinate pair.  The format puts the
// northing first (the grid's X in the national convention), but some
// offices write the easting first.  When the input system is known, the
// coordinates themselves tell: read one way they fall inside the system's
// area, read the other way outside it.
#pragma once

#include <cstdint>
#include <span>

#include "geodesy/system_area.h"

namespace egib {

// A pair as the file writes it: fields 2 and 3 of a "P,G" line.
struct WrittenPair {
  double first;
  double second;
};

struct AxisVote {
  int64_t pairs = 0;
  int64_t inside_northing_first = 0;
  int64_t inside_easting_first = 0;

  // One pair as written, read both ways against the area.
  void count(const GridExtent& area, double first, double second) {
    ++pairs;
    inside_northing_first += area.contains(first, second) ? 1 : 0;
    inside_easting_first += area.contains(second, first) ? 1 : 0;
  }
};

AxisVote count_axis_votes(const GridExtent& area, std::span<const WrittenPair> pairs);

// The pairs put the easting first when, read that way, at least ten times
// as many of them lie inside the area as read northing first (a few stray
// points, or points without coordinates, do not decide it).  Where both
// readings fit (the 1992 grid over most of the country) the order stays
// northing first.
bool pairs_are_easting_first(const AxisVote& vote);

}  // namespace egib
