// The route table and the run's transform built on it.
#include "geodesy/transform.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "geodesy/gauss_kruger.h"
#include "geodesy/grid_convert.h"
#include "geodesy/poly1965.h"

namespace egib {

namespace {

// Zones of the 1965 system meet through the 2000-grid zone of 18 E.
constexpr int kIntermediate2000 = 18;

bool applies_polynomial(int variant) {
  return variant == 1 || variant == 2;
}

// Which side of a route the 1965 correction belongs to: the source zone
// before a conversion out of the 1965 system (and on its own for equal
// codes), the target zone after a conversion into it.  Row 4, zone to zone,
// corrects the source zone only.
enum class CorrectionSide { kNone, kSource, kTarget };

CorrectionSide correction_side(Route route) {
  switch (route) {
    case Route::kPolynomialOnly:
    case Route::k1965To2000:
    case Route::k1965To1965:
    case Route::k1965To1992:
      return CorrectionSide::kSource;
    case Route::k2000To1965:
    case Route::k1992To1965:
      return CorrectionSide::kTarget;
    default:
      return CorrectionSide::kNone;
  }
}

// Zone whose correction a route applies, 0 when it applies none.
int polynomial_zone(Route route, int input_system, int output_system) {
  switch (correction_side(route)) {
    case CorrectionSide::kSource:
      return input_system;
    case CorrectionSide::kTarget:
      return output_system;
    default:
      return 0;
  }
}

void correct(GridPoint& g, int zone, int variant) {
  // National convention: northing first.
  poly1965_transform(&g.y, &g.x, &g.y, &g.x, zone, variant);
}

}  // namespace

CoordinateTransform::CoordinateTransform(int input_system, int output_system, int variant)
    : in_(input_system),
      out_(output_system),
      variant_(variant),
      route_(choose_route(input_system, output_system)) {
  side_ = applies_polynomial(variant) ? static_cast<int>(correction_side(route_)) : 0;
  // The grids of the route, resolved once.
  if (!is_zone_1965(in_) && is_known_system(in_)) from_ = coordinate_system(in_)->grid;
  if (!is_zone_1965(out_) && is_known_system(out_)) to_ = coordinate_system(out_)->grid;
  if (route_ == Route::k1965To1965) to_ = grid_2000_parameters(kIntermediate2000);
  cos_shift_ = std::cos(from_.lambda0 - to_.lambda0);
  sin_shift_ = std::sin(from_.lambda0 - to_.lambda0);
}

bool CoordinateTransform::changes_coordinates() const {
  const auto side = static_cast<CorrectionSide>(side_);
  return !(route_ == Route::kNothing ||
           (route_ == Route::kPolynomialOnly && side == CorrectionSide::kNone));
}

void CoordinateTransform::convert(double& x, double& y, AreaWarnings& warnings) const {
  const auto side = static_cast<CorrectionSide>(side_);
  GridPoint g{x, y, 0.0};
  if (side == CorrectionSide::kSource) correct(g, in_, variant_);
  switch (route_) {
    case Route::k1965To2000:
    case Route::k1965To1992:
      g = to_grid(to_, from_1965_to_grs80(g, in_, warnings), g.z);
      break;
    case Route::k1965To1965: {
      const GridPoint mid = to_grid(to_, from_1965_to_grs80(g, in_, warnings), g.z);
      g = from_grs80_to_1965(mid, from_grs80_grid(to_, mid), out_, warnings);
      break;
    }
    case Route::k2000To1965:
    case Route::k1992To1965:
      g = from_grs80_to_1965(g, from_grs80_grid(from_, g), out_, warnings);
      break;
    case Route::k2000To2000:
    case Route::k1992To2000:
    case Route::k2000To1992:
      g = between_grs80_grids(from_, to_, cos_shift_, sin_shift_, g);
      break;
    default:
      break;  // the correction alone, or nothing
  }
  if (side == CorrectionSide::kTarget) correct(g, out_, variant_);
  x = g.x;
  y = g.y;
}

ConversionCache::ConversionCache() : slots_(kSlots) {}

ConversionCache& ConversionCache::for_this_thread(const CoordinateTransform& transform) {
  thread_local ConversionCache cache;
  thread_local int in = 0, out = 0, variant = 0;
  if (transform.input_system() != in || transform.output_system() != out ||
      transform.variant() != variant) {
    for (Slot& s : cache.slots_) s.used = false;
    in = transform.input_system();
    out = transform.output_system();
    variant = transform.variant();
  }
  return cache;
}

bool ConversionCache::convert(const CoordinateTransform& transform, double& x, double& y,
                              AreaWarnings& warnings) {
  uint64_t kx = 0, ky = 0;
  std::memcpy(&kx, &x, sizeof kx);
  std::memcpy(&ky, &y, sizeof ky);
  const uint64_t h = (kx * 0x9E3779B97F4A7C15ULL) ^ (ky * 0xC2B2AE3D27D4EB4FULL);
  Slot& s = slots_[static_cast<size_t>(h >> (64 - kSlotBits))];
  if (s.used && s.kx == kx && s.ky == ky) {
    x = s.x;
    y = s.y;
    return true;
  }
  transform.convert(x, y, warnings);
  if (warnings.count == 0) s = {kx, ky, x, y, true};
  return false;
}

Route choose_route(int in, int out) {
  if (in == out) return is_zone_1965(in) ? Route::kPolynomialOnly : Route::kNothing;
  if (is_zone_1965(in) && is_grid_2000(out)) return Route::k1965To2000;
  if (is_grid_2000(in) && is_zone_1965(out)) return Route::k2000To1965;
  if (is_zone_1965(in) && is_zone_1965(out)) return Route::k1965To1965;
  if (is_grid_2000(in) && is_grid_2000(out)) return Route::k2000To2000;
  if (is_grid_1992(in) && is_grid_2000(out)) return Route::k1992To2000;
  if (is_grid_2000(in) && is_grid_1992(out)) return Route::k2000To1992;
  if (is_zone_1965(in) && is_grid_1992(out)) return Route::k1965To1992;
  if (is_grid_1992(in) && is_zone_1965(out)) return Route::k1992To1965;
  return Route::kNothing;
}

int CoordinateTransform::written_system() const {
  const bool converted = route_ != Route::kNothing && route_ != Route::kPolynomialOnly;
  const int system = converted ? out_ : in_;
  return is_known_system(system) ? system : 0;
}

int CoordinateTransform::corrected_zone() const {
  switch (static_cast<CorrectionSide>(side_)) {
    case CorrectionSide::kSource:
      return in_;
    case CorrectionSide::kTarget:
      return out_;
    default:
      return 0;
  }
}

std::string CoordinateTransform::announcement() const {
  if (route_ != Route::kNothing || in_ == out_) return {};
  return "egib2shp: no conversion from system " + std::to_string(in_) + " to system " +
         std::to_string(out_) + " is possible; coordinates are written as read\n";
}

void CoordinateTransform::announce(std::FILE* out) const {
  const std::string text = announcement();
  std::fwrite(text.data(), 1, text.size(), out);
}

std::string CoordinateTransform::description() const {
  if (route_ == Route::kNothing) {
    if (in_ == out_) return "no conversion, coordinates in " + system_name(in_);
    return "no conversion possible from " + system_name(in_) + " to " + system_name(out_) +
           ", coordinates as read";
  }
  std::string text = route_ == Route::kPolynomialOnly
                         ? "coordinates stay in " + system_name(in_)
                         : system_name(in_) + " -> " + system_name(out_);
  if (route_ == Route::k1965To1965) {
    text += " through " + std::string(coordinate_system(kIntermediate2000)->name);
  }
  if (const int zone = corrected_zone(); zone != 0) {
    // Variant 1 makes catalogue coordinates of mathematical ones, variant 2
    // the reverse.
    text += ", 1965 zone " + std::to_string(zone) + " correction variant " +
            std::to_string(variant_) +
            (variant_ == 1 ? " (mathematical to catalogue coordinates)"
                           : " (catalogue to mathematical coordinates)");
  } else if (polynomial_zone(route_, in_, out_) != 0) {
    text += ", no 1965 correction (variant " + std::to_string(variant_) + ")";
  }
  return text;
}

int transform_vertices(std::span<double> x, std::span<double> y,
                       const CoordinateTransform& transform, std::FILE* out) {
  // Without a conversion and without a correction the coordinates stay bit
  // for bit: they are not even written.
  if (!transform.changes_coordinates()) return 0;
  ConversionCache& cache = ConversionCache::for_this_thread(transform);
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    AreaWarnings warnings;
    cache.convert(transform, x[i], y[i], warnings);
    print_area_warnings(warnings, out);
  }
  return 0;
}

}  // namespace egib
