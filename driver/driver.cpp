#include "driver/driver.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "array/array.h"
#include "diag/error_log.h"
#include "driver/progress.h"
#include "driver/run_state.h"
#include "geodesy/prj_wkt.h"
#include "geodesy/transform.h"
#include "layers/point_index.h"
#include "swde/collect_pass.h"
#include "swde/line_reader.h"
#include "swde/write_pass.h"

namespace egib {

RunState& run_state() {
  static RunState state;
  return state;
}

namespace {

// Files under working names that an interrupted run removes, so that a run
// stopped by Ctrl-C or a kill leaves nothing half-written behind.  Filled
// before the handlers are installed and not changed while they may run.
std::vector<std::string>& interrupted_cleanup() {
  static std::vector<std::string> files;
  return files;
}

extern "C" void remove_work_files_and_die(int sig) {
  for (const std::string& f : interrupted_cleanup()) unlink(f.c_str());
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void remove_work_files_on_signals(const RunState& run) {
  std::vector<std::string>& files = interrupted_cleanup();
  files = run.parcel.work_files();
  for (std::string& f : run.building.work_files()) files.push_back(std::move(f));
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, remove_work_files_and_die);
}

// One pass over the input, with its progress line on a terminal.
void run_pass(const char* name, SwdeInput& input, int (*pass)(SwdeInput&)) {
  PassProgress progress(name, input.size(), stderr_is_terminal());
  input.set_progress_hook(&PassProgress::hook, &progress);
  pass(input);
  input.set_progress_hook(nullptr, nullptr);
}

const char* plural(int64_t n, const char* one, const char* many) {
  return n == 1 ? one : many;
}

// What the run did, on stderr, so that nobody has to read the console
// messages to know it.
void print_summary(const std::string& base, bool written, double seconds) {
  const RunState& run = run_state();
  const RunStats& st = run.stats;
  std::fprintf(
      stderr, "egib2shp: %lld %s and %lld %s written (%lld %s), %lld %s collected\n",
      static_cast<long long>(st.parcels_written), plural(st.parcels_written, "parcel", "parcels"),
      static_cast<long long>(st.buildings_written),
      plural(st.buildings_written, "building", "buildings"),
      static_cast<long long>(st.vertices_written),
      plural(st.vertices_written, "vertex", "vertices"),
      static_cast<long long>(st.points_collected), plural(st.points_collected, "point", "points"));
  if (st.objects_without_vertex + st.unresolved_references + st.lists_without_ring_start > 0) {
    std::fprintf(stderr,
                 "egib2shp: skipped: %lld %s without any vertex, %lld unresolved point %s, "
                 "%lld geometry %s without a ring start (see err.log)\n",
                 static_cast<long long>(st.objects_without_vertex),
                 plural(st.objects_without_vertex, "object", "objects"),
                 static_cast<long long>(st.unresolved_references),
                 plural(st.unresolved_references, "reference", "references"),
                 static_cast<long long>(st.lists_without_ring_start),
                 plural(st.lists_without_ring_start, "list", "lists"));
  }
  std::fprintf(stderr, "egib2shp: %s\n",
               describe_conversion(run.input_system, run.output_system, run.variant).c_str());
  if (written) {
    const char* prj = written_system(run.input_system, run.output_system) != 0 ? ",prj" : "";
    std::fprintf(stderr,
                 "egib2shp: wrote %s_DZE.{shp,shx,dbf,cpg%s} and %s_BUD.{shp,shx,dbf,cpg%s}\n",
                 base.c_str(), prj, base.c_str(), prj);
  } else {
    std::fprintf(stderr, "egib2shp: no layer written; earlier layers are left as they were\n");
  }
  std::fprintf(stderr, "egib2shp: %.2f s\n", seconds);
}

void default_signals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
}

constexpr const char* kUsage =
    "usage: egib2shp INPUT.swd INPUT_SYSTEM OUTPUT_SYSTEM VARIANT\n"
    "\n"
    "Converts the parcels (G5DZE) and buildings (G5BUD) of an SWDE file into\n"
    "the polygon shapefiles INPUT_DZE and INPUT_BUD.\n"
    "\n"
    "system codes:\n"
    "   1 .. 5       1965 system, zones 1 to 5 (Krassowski)\n"
    "  10            1992 grid (GRS80)\n"
    "  15 18 21 24   2000 grid, zone by central meridian (GRS80)\n"
    "  equal codes   no conversion (for a 1965 zone: the polynomial correction alone)\n"
    "\n"
    "variant: 1 or 2 apply the 1965 polynomial correction (variant 2 is the\n"
    "inverse of variant 1); any other value skips it.\n";

int32_t to_int32(const char* s) {
  return static_cast<int32_t>(std::strtol(s, nullptr, 10));
}

}  // namespace

std::string layer_base_name(std::string_view input_path) {
  const size_t sep = input_path.find_last_of("/\\");
  const size_t name_start = sep == std::string_view::npos ? 0 : sep + 1;
  const size_t dot = input_path.rfind('.');
  if (dot != std::string_view::npos && dot >= name_start) {
    return std::string(input_path.substr(0, dot));
  }
  return std::string(input_path);
}

int run_converter(int argc, char** argv) {
  if (argc < 5) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  RunState& run = run_state();
  run.write_failed = false;
  clear_io_failure();
  const char* input_path = argv[1];
  const std::string input_base = layer_base_name(input_path);
  run.input_system = to_int32(argv[2]);
  run.output_system = to_int32(argv[3]);
  run.variant = to_int32(argv[4]);

  SwdeInput input = SwdeInput::open(input_path);
  if (!input.is_open()) {
    std::fprintf(stderr, "nie moge otworzyc pliku %s\n", input_path);
    return 1;
  }

  PointStore& store = point_store();
  store.points = Array_new(0, kPointEntrySize, 1000);

  FilePtr log(std::fopen("err.log", "w"));
  if (!log) {
    std::fprintf(stderr, "nie moge otworzyc pliku %s\n", "err.log");
    release_points();
    return 1;
  }
  set_run_log(log.get());
  line_number = 1;

  // Both layers, and beside each its coordinate system when it is one this
  // program knows (the output system of a conversion, else the input one).
  std::string error;
  const std::string_view wkt =
      esri_wkt_of_system(written_system(run.input_system, run.output_system));
  if (!run.parcel.create(input_base + "_DZE", LayerKind::kParcel, &error) ||
      !run.building.create(input_base + "_BUD", LayerKind::kBuilding, &error) ||
      (!wkt.empty() && (!run.parcel.write_side_file(".prj", wkt, &error) ||
                        !run.building.write_side_file(".prj", wkt, &error)))) {
    std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
    run.parcel.discard();
    run.building.discard();
    release_points();
    set_run_log(nullptr);
    return 1;
  }

  remove_work_files_on_signals(run);
  announce_conversion(run.input_system, run.output_system, run.variant, stderr);

  const auto started = std::chrono::steady_clock::now();
  run.stats = RunStats{};
  run_pass("reading points", input, collect_pass);
  run.stats.points_collected = store.points->length;
  build_point_indexes();
  input.rewind();
  run_pass("writing layers", input, write_pass);

  release_points();
  run.parcel.close();
  run.building.close();

  int status = 0;
  if (!io_failure().empty()) {
    std::fprintf(stderr, "egib2shp: %s\n", io_failure().c_str());
    status = 1;
  } else if (run.write_failed) {
    status = 1;
  }
  // From here on the working files are renamed or removed by the run itself.
  default_signals();
  if (status == 0) {
    if (!run.parcel.commit(&error) || !run.building.commit(&error)) {
      std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
      status = 1;
    }
  }
  if (status != 0) {
    run.parcel.discard();
    run.building.discard();
  }

  std::printf("faza10");
  std::fputs("KONIEC\n", log.get());
  set_run_log(nullptr);
  if (std::fclose(log.release()) != 0) {
    std::fprintf(stderr, "egib2shp: cannot write err.log\n");
    status = 1;
  }
  std::printf("KONIEC\n");
  if (std::fflush(stdout) != 0) status = 1;
  print_summary(input_base, status == 0,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return status;
}

}  // namespace egib
