#include "geodesy/transform.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/poly1965.h"
#include "geodesy/prj_wkt.h"

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

// The set a run applies when it is not the complete official one.
const Poly1965Set* incomplete_set(Route route, int in, int out, int variant) {
  if (!applies_polynomial(variant)) return nullptr;
  const Poly1965Set* set = poly1965_set(polynomial_zone(route, in, out), variant);
  return set != nullptr && !set->complete ? set : nullptr;
}

// The grid conversion of a route, from the input into the output system.
void convert_on_route(Route route, int in, int out, GridPoint& g) {
  GridPoint r = g;
  switch (route) {
    case Route::k1965To2000:
      convert_1965_to_2000(&r, out, &g, in);
      break;
    case Route::k2000To1965:
      convert_2000_to_1965(&r, out, &g, in);
      break;
    case Route::k1965To1965:
      convert_1965_to_2000(&r, kIntermediate2000, &g, in);
      convert_2000_to_1965(&r, out, &r, kIntermediate2000);
      break;
    case Route::k2000To2000:
      convert_2000_to_2000(&r, out, &g, in);
      break;
    case Route::k1992To2000:
      convert_1992_to_2000(&r, out, &g);
      break;
    case Route::k2000To1992:
      convert_2000_to_1992(&r, in, &g);
      break;
    case Route::k1965To1992:
      convert_1965_to_1992(&r, out, &g, in);
      break;
    case Route::k1992To1965:
      convert_1992_to_1965(&r, out, &g, 0);
      break;
    default:
      return;  // the correction alone, or nothing
  }
  g = r;
}

void correct(GridPoint& g, int zone, int variant) {
  // National convention: northing first.
  poly1965_transform(&g.y, &g.x, &g.y, &g.x, zone, variant);
}

// Outlines share their boundary points: most vertices of a run are
// converted several times over.  The results of the last conversions are
// kept by the exact bits of the input pair, so a shared point is converted
// once; a conversion that printed an area warning is not kept, so every
// occurrence of such a vertex still prints its own.  The converters are
// deterministic, so a kept result is bit for bit the one they would give.
class ConversionCache {
 public:
  void prepare(int in, int out, int variant) {
    if (slots_.empty()) slots_.resize(kSlots);
    if (in != in_ || out != out_ || variant != variant_) {
      for (Slot& s : slots_) s.used = false;
      in_ = in;
      out_ = out;
      variant_ = variant;
    }
  }
  template <typename Step>
  void convert(GridPoint& g, Step step) {
    uint64_t kx = 0, ky = 0;
    std::memcpy(&kx, &g.x, sizeof kx);
    std::memcpy(&ky, &g.y, sizeof ky);
    const uint64_t h = (kx * 0x9E3779B97F4A7C15ULL) ^ (ky * 0xC2B2AE3D27D4EB4FULL);
    Slot& s = slots_[static_cast<size_t>(h >> (64 - kSlotBits))];
    if (s.used && s.kx == kx && s.ky == ky) {
      g.x = s.x;
      g.y = s.y;
      return;
    }
    const uint64_t warnings = area_warnings_printed();
    step(g);
    if (area_warnings_printed() == warnings) s = {kx, ky, g.x, g.y, true};
  }

 private:
  static constexpr int kSlotBits = 16;
  static constexpr size_t kSlots = size_t{1} << kSlotBits;
  struct Slot {
    uint64_t kx, ky;
    double x, y;
    bool used;
  };
  std::vector<Slot> slots_;
  int in_ = 0, out_ = 0, variant_ = 0;
};

ConversionCache& conversion_cache() {
  static ConversionCache cache;
  return cache;
}

template <typename Step>
void for_each_vertex(std::span<double> xs, std::span<double> ys, int in, int out, int variant,
                     Step step) {
  ConversionCache& cache = conversion_cache();
  cache.prepare(in, out, variant);
  for (size_t i = 0; i < xs.size(); ++i) {
    GridPoint g{xs[i], ys[i], 0.0};
    cache.convert(g, step);
    xs[i] = g.x;
    ys[i] = g.y;
  }
}

}  // namespace

Route choose_route(int in, int out) {
  if (in == out) return is_zone_1965(in) ? Route::kPolynomialOnly : Route::kNothing;
  if (is_zone_1965(in) && is_grid_2000(out)) return Route::k1965To2000;
  if (is_grid_2000(in) && is_zone_1965(out)) return Route::k2000To1965;
  if (is_zone_1965(in) && is_zone_1965(out)) return Route::k1965To1965;
  if (is_grid_2000(in) && is_grid_2000(out)) return Route::k2000To2000;
  if (in == 10 && is_grid_2000(out)) return Route::k1992To2000;
  if (is_grid_2000(in) && out == 10) return Route::k2000To1992;
  if (is_zone_1965(in) && out == 10) return Route::k1965To1992;
  if (in == 10 && is_zone_1965(out)) return Route::k1992To1965;
  return Route::kNothing;
}

int written_system(int in, int out) {
  const Route route = choose_route(in, out);
  const bool converted = route != Route::kNothing && route != Route::kPolynomialOnly;
  const int system = converted ? out : in;
  return is_known_system(system) ? system : 0;
}

void announce_conversion(int in, int out, int variant, std::FILE* stream) {
  const Route route = choose_route(in, out);
  if (route == Route::kNothing && in != out) {
    std::fprintf(stream,
                 "egib2shp: no conversion from system %d to system %d is "
                 "possible; coordinates are written as read\n",
                 in, out);
    return;
  }
  if (incomplete_set(route, in, out, variant) != nullptr) {
    const int zone = polynomial_zone(route, in, out);
    std::fprintf(stream,
                 "egib2shp: the 1965 zone %d correction (variant %d) is the "
                 "built-in constant-offset approximation, not the complete "
                 "official polynomial\n",
                 zone, variant);
  }
}

std::string system_name(int system) {
  std::string name;
  if (is_zone_1965(system)) {
    name = "1965 zone " + std::to_string(system);
  } else if (system == 10) {
    name = "1992";
  } else if (is_grid_2000(system)) {
    name = "2000 zone " + std::to_string(system) + " E";
  } else {
    return "unknown system " + std::to_string(system);
  }
  return name + " (EPSG:" + std::to_string(epsg_of_system(system)) + ")";
}

std::string describe_conversion(int in, int out, int variant) {
  const Route route = choose_route(in, out);
  if (route == Route::kNothing) {
    if (in == out) return "no conversion, coordinates in " + system_name(in);
    return "no conversion possible from " + system_name(in) + " to " + system_name(out) +
           ", coordinates as read";
  }
  std::string text = route == Route::kPolynomialOnly ? "coordinates stay in " + system_name(in)
                                                     : system_name(in) + " -> " + system_name(out);
  if (route == Route::k1965To1965) text += " through 2000 zone 18 E";
  const int zone = polynomial_zone(route, in, out);
  if (applies_polynomial(variant)) {
    text +=
        ", 1965 zone " + std::to_string(zone) + " correction variant " + std::to_string(variant);
    if (incomplete_set(route, in, out, variant) != nullptr) {
      text += " (constant-offset approximation)";
    }
  } else if (zone != 0) {
    text += ", no 1965 correction (variant " + std::to_string(variant) + ")";
  }
  return text;
}

int transform_vertices(std::span<double> x, std::span<double> y, int in, int out, int variant) {
  const Route route = choose_route(in, out);
  const CorrectionSide side =
      applies_polynomial(variant) ? correction_side(route) : CorrectionSide::kNone;
  // Without a conversion and without a correction the coordinates stay bit
  // for bit: the buffer is not even written.
  if (route == Route::kNothing ||
      (route == Route::kPolynomialOnly && side == CorrectionSide::kNone)) {
    return 0;
  }
  for_each_vertex(x, y.first(x.size()), in, out, variant, [&](GridPoint& g) {
    if (side == CorrectionSide::kSource) correct(g, in, variant);
    convert_on_route(route, in, out, g);
    if (side == CorrectionSide::kTarget) correct(g, out, variant);
  });
  return 0;
}

}  // namespace egib
