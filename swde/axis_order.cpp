#include "swde/axis_order.h"

namespace egib {

AxisVote count_axis_votes(const GridExtent& area, std::span<const WrittenPair> pairs) {
  AxisVote v;
  for (const WrittenPair& p : pairs) v.count(area, p.first, p.second);
  return v;
}

bool pairs_are_easting_first(const AxisVote& v) {
  return v.inside_easting_first > 0 && v.inside_easting_first >= 10 * v.inside_northing_first;
}

}  // namespace egib
