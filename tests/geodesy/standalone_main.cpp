// The geodesy library on its own: this program links nothing else of the
// converter.  It converts a point of 1965 zone 2 into the 2000 grid and
// back, and checks where it lands.
#include <cmath>
#include <cstdio>

#include "geodesy/prj_wkt.h"
#include "geodesy/transform.h"

int main() {
  const egib::CoordinateTransform there(2, 18, 0);
  const egib::CoordinateTransform back(18, 2, 0);
  double x = 4603000.0, y = 5806000.0;  // easting, northing
  egib::AreaWarnings warnings;
  there.convert(x, y, warnings);
  // Central Poland in the 2000 zone of 18 E: easting about 6.7 million.
  const bool in_zone = x > 6.6e6 && x < 6.8e6 && y > 5.8e6 && y < 5.95e6;
  back.convert(x, y, warnings);
  // The two published seven-parameter shifts are each other's inverse to
  // about a millimetre.
  const double error = std::hypot(x - 4603000.0, y - 5806000.0);
  const bool ok = in_zone && error < 2e-3 && warnings.count == 0 &&
                  egib::epsg_of_system(18) == 2177 && there.changes_coordinates();
  std::printf("there and back: %.3g m apart%s\n", error, ok ? "" : " (wrong)");
  return ok ? 0 : 1;
}
