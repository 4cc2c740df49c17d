// Conversions per second of the grid converters, each beside PROJ's
// proj_trans_generic for the same pair of EPSG systems, on the same points.
//
//   bash tools/bootstrap.sh bench
#include <benchmark/benchmark.h>
#include <proj.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/poly1965.h"
#include "geodesy/transform.h"

namespace {

using egib::GridPoint;

constexpr int kPoints = 4096;

// Points spread over a box of the source grid (easting, northing).
std::vector<GridPoint> points(double e0, double n0, double half_width) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> d(-half_width, half_width);
  std::vector<GridPoint> out(kPoints);
  for (GridPoint& p : out) p = {e0 + d(rng), n0 + d(rng), 0};
  return out;
}

// One conversion measured: the transform a run "in out variant" builds,
// beside PROJ's operation between the same EPSG systems.  in 0 stands for
// the UTM coordinates of a 1965 point, which no run converts into.
struct Pair {
  const char* name;
  int in, out, variant;
  const char* epsg_from;
  const char* epsg_to;
  double e0, n0, half_width;
};

const Pair kPairs[] = {
    // The routes of whole runs: "2 18 1" (zone-2 correction, stereographic
    // inverse, datum shift, Gauss-Krüger forward) and "10 18".
    {"route_2_18_v1", 2, 18, 1, "EPSG:2172", "EPSG:2177", 4603000, 5806000, 40000},
    {"route_10_18", 10, 18, 0, "EPSG:2180", "EPSG:2177", 500000, 460000, 60000},
    {"1965z1_to_2000z21", 1, 21, 0, "EPSG:3120", "EPSG:2178", 4637000, 5467000, 40000},
    {"2000z21_to_1965z1", 21, 1, 0, "EPSG:2178", "EPSG:3120", 7505000, 5610000, 40000},
    {"1992_to_2000z18", 10, 18, 0, "EPSG:2180", "EPSG:2177", 500000, 460000, 60000},
    {"2000z18_to_1992", 18, 10, 0, "EPSG:2177", "EPSG:2180", 6570000, 5760000, 60000},
    {"2000z18_to_2000z21", 18, 21, 0, "EPSG:2177", "EPSG:2178", 6570000, 5760000, 60000},
    {"1965z3_to_1992", 3, 10, 0, "EPSG:2173", "EPSG:2180", 3501000, 5999000, 40000},
    {"1992_to_1965z5", 10, 5, 0, "EPSG:2180", "EPSG:2175", 500000, 300000, 20000},
    {"1965z2_to_utm34", 0, 2, 0, "EPSG:2172", "EPSG:32634", 4603000, 5806000, 40000},
};

void ours(benchmark::State& state, const Pair& pair) {
  const std::vector<GridPoint> in = points(pair.e0, pair.n0, pair.half_width);
  const egib::CoordinateTransform transform(pair.in, pair.out, pair.variant);
  GridPoint out{};
  for (auto _ : state) {
    for (const GridPoint& p : in) {
      out = p;
      egib::AreaWarnings warnings;
      if (pair.in == 0) {
        egib::convert_1965_to_utm(&out, 0, &out, pair.out, &warnings);
      } else {
        transform.convert(out.x, out.y, warnings);
      }
      benchmark::DoNotOptimize(out);
      benchmark::DoNotOptimize(warnings);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

struct ContextDeleter {
  void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};

void proj(benchmark::State& state, const Pair& pair) {
  std::unique_ptr<PJ_CONTEXT, ContextDeleter> ctx(proj_context_create());
  std::unique_ptr<PJ, PjDeleter> raw(
      proj_create_crs_to_crs(ctx.get(), pair.epsg_from, pair.epsg_to, nullptr));
  if (!raw) {
    state.SkipWithError("PROJ cannot build the operation");
    return;
  }
  // Easting first, northing second, as the converters take them.
  std::unique_ptr<PJ, PjDeleter> op(proj_normalize_for_visualization(ctx.get(), raw.get()));
  const std::vector<GridPoint> in = points(pair.e0, pair.n0, pair.half_width);
  std::vector<double> x(kPoints), y(kPoints);
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      x[static_cast<size_t>(i)] = in[static_cast<size_t>(i)].x;
      y[static_cast<size_t>(i)] = in[static_cast<size_t>(i)].y;
    }
    proj_trans_generic(op.get(), PJ_FWD, x.data(), sizeof(double), kPoints, y.data(),
                       sizeof(double), kPoints, nullptr, 0, 0, nullptr, 0, 0);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(y.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// The 1965 correction alone (zone 2, variant 1), on points within 40 km of
// the set's origin: PROJ has no counterpart.
void poly1965_zone2(benchmark::State& state) {
  const std::vector<GridPoint> in = points(4559496.86327, 5796241.28401, 40000);
  for (auto _ : state) {
    for (const GridPoint& p : in) {
      double n = p.y, e = p.x;
      egib::poly1965_transform(&n, &e, &n, &e, 2, 1);
      benchmark::DoNotOptimize(n);
      benchmark::DoNotOptimize(e);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

const int kRegistered = [] {
  benchmark::RegisterBenchmark("egib/poly1965_zone2_v1", poly1965_zone2);
  for (const Pair& pair : kPairs) {
    benchmark::RegisterBenchmark((std::string("egib/") + pair.name).c_str(), ours, pair);
    benchmark::RegisterBenchmark((std::string("proj/") + pair.name).c_str(), proj, pair);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
