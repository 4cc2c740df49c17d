#include "swde/axis_order.h"

namespace egib {

AxisVote count_axis_votes(const GridExtent& area, std::span<const WrittenPair> pairs) {
  AxisVote v;
  v.pairs = static_cast<int64_t>(pairs.size());
  for (const WrittenPair& p : pairs) {
    v.inside_northing_first += area.contains(p.first, p.second) ? 1 : 0;
    v.inside_easting_first += area.contains(p.second, p.first) ? 1 : 0;
  }
  return v;
}

bool pairs_are_easting_first(const AxisVote& v) {
  return v.inside_easting_first > 0 && v.inside_easting_first >= 10 * v.inside_northing_first;
}

}  // namespace egib
