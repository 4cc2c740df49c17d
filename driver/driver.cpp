#include "driver/driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "array/array.h"
#include "diag/error_log.h"
#include "driver/options.h"
#include "driver/progress.h"
#include "driver/run_report.h"
#include "driver/run_state.h"
#include "geodesy/prj_wkt.h"
#include "geodesy/system_area.h"
#include "geodesy/transform.h"
#include "layers/point_index.h"
#include "layers/point_layer.h"
#include "swde/axis_order.h"
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

// The layers of the run, in the order they are created and committed.
std::vector<Layer*> run_layers(RunState& run) {
  std::vector<Layer*> layers;
  for (Layer* layer : {&run.parcel, &run.building, &run.points, &run.precincts}) {
    if (layer->created()) layers.push_back(layer);
  }
  return layers;
}

void remove_work_files_on_signals(RunState& run) {
  std::vector<std::string>& files = interrupted_cleanup();
  files.clear();
  for (const Layer* layer : run_layers(run)) {
    for (std::string& f : layer->work_files()) files.push_back(std::move(f));
  }
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, remove_work_files_and_die);
}

// Creates the run's layers and, beside each, its coordinate system when it
// is one this program knows (the output system of a conversion, else the
// input one).  False with a message in *error.
bool create_layers(const Options& options, const std::string& base, RunState& run,
                   std::string* error) {
  struct Wanted {
    Layer* layer;
    const char* suffix;
    LayerKind kind;
    bool wanted;
  };
  const Wanted wanted[] = {
      {&run.parcel, "_DZE", LayerKind::kParcel, true},
      {&run.building, "_BUD", LayerKind::kBuilding, true},
      {&run.points, "_PKT", LayerKind::kPoint, options.points},
      {&run.precincts, "_OBR", LayerKind::kPrecinct, options.precincts},
  };
  const std::string_view wkt =
      esri_wkt_of_system(written_system(run.input_system, run.output_system));
  for (const Wanted& w : wanted) {
    if (!w.wanted) continue;
    if (!w.layer->create(base + w.suffix, w.kind, error) ||
        (!wkt.empty() && !w.layer->write_side_file(".prj", wkt, error))) {
      return false;
    }
  }
  return true;
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
void print_summary(bool written, uint64_t error_log_count, TextEncoding encoding,
                   bool encoding_told, double seconds) {
  RunState& run = run_state();
  const RunStats& st = run.stats;
  const auto n = [](int64_t v) { return static_cast<long long>(v); };
  std::fprintf(stderr, "egib2shp: %lld %s and %lld %s written (%lld %s), %lld %s collected\n",
               n(st.parcels_written), plural(st.parcels_written, "parcel", "parcels"),
               n(st.buildings_written), plural(st.buildings_written, "building", "buildings"),
               n(st.vertices_written), plural(st.vertices_written, "vertex", "vertices"),
               n(st.points_collected), plural(st.points_collected, "point", "points"));
  if (st.objects_without_vertex + st.unresolved_references + st.lists_without_ring_start > 0) {
    std::fprintf(stderr,
                 "egib2shp: skipped: %lld %s without any vertex, %lld unresolved point %s, "
                 "%lld geometry %s without a ring start (see err.log)\n",
                 n(st.objects_without_vertex), plural(st.objects_without_vertex, "object", "objects"),
                 n(st.unresolved_references),
                 plural(st.unresolved_references, "reference", "references"),
                 n(st.lists_without_ring_start), plural(st.lists_without_ring_start, "list", "lists"));
  }
  if (st.degenerate_outlines + st.duplicate_parcel_ids + st.duplicate_building_ids > 0) {
    std::fprintf(stderr,
                 "egib2shp: to look at: %lld %s with fewer than three distinct vertices, "
                 "%lld parcel %s and %lld building %s written more than once\n",
                 n(st.degenerate_outlines), plural(st.degenerate_outlines, "outline", "outlines"),
                 n(st.duplicate_parcel_ids),
                 plural(st.duplicate_parcel_ids, "identifier", "identifiers"),
                 n(st.duplicate_building_ids),
                 plural(st.duplicate_building_ids, "identifier", "identifiers"));
  }
  if (error_log_count > 0) {
    const auto count = static_cast<long long>(error_log_count);
    std::fprintf(stderr, "egib2shp: %lld %s written to the error log %s\n", count,
                 count == 1 ? "message" : "messages", error_log_path().c_str());
  }
  std::fprintf(stderr, "egib2shp: texts read as %s%s and written in Windows-1250\n",
               std::string(encoding_name(encoding)).c_str(),
               encoding_told ? " (told from the file)" : "");
  std::fprintf(stderr, "egib2shp: %s%s\n",
               describe_conversion(run.input_system, run.output_system, run.variant).c_str(),
               run.swap_axes ? "; coordinate pairs read easting first" : "");
  if (run.points.created() || run.precincts.created()) {
    std::fprintf(stderr, "egib2shp: %lld %s and %lld %s written\n", n(st.points_written),
                 plural(st.points_written, "boundary point", "boundary points"),
                 n(st.precincts_written), plural(st.precincts_written, "precinct", "precincts"));
  }
  if (written) {
    const char* prj = written_system(run.input_system, run.output_system) != 0 ? ",prj" : "";
    std::string names;
    const std::vector<Layer*> layers = run_layers(run);
    for (size_t i = 0; i < layers.size(); ++i) {
      if (i > 0) names += i + 1 == layers.size() ? " and " : ", ";
      names += layers[i]->final_base() + ".{shp,shx,dbf,cpg" + prj + "}";
    }
    std::fprintf(stderr, "egib2shp: wrote %s\n", names.c_str());
  } else {
    std::fprintf(stderr, "egib2shp: no layer written; earlier layers are left as they were\n");
  }
  std::fprintf(stderr, "egib2shp: %.2f s\n", seconds);
}

void default_signals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
}

// The first characters of a line as they can be shown on a terminal.
std::string printable_prefix(std::string_view text, size_t count) {
  std::string shown;
  for (const char c : text.substr(0, count)) {
    if (c == '\n' || c == '\r') break;
    const auto u = static_cast<unsigned char>(c);
    shown += (u < 0x20 || u == 0x7F) ? '?' : c;
  }
  return shown;
}

// Decides whether the coordinate pairs of the file put the easting first
// and, if so, turns the collected points around; the writing pass then
// reads every inline pair the same way.
void settle_axis_order(const Options& options, RunState& run) {
  bool easting_first = options.axes == AxisChoice::kEastingFirst;
  if (options.axes == AxisChoice::kAuto) {
    const std::optional<GridExtent> area = system_extent(run.input_system);
    if (!area) return;
    const PointStore& store = point_store();
    std::vector<WrittenPair> pairs;
    if (store.points->length > 0) {
      pairs.reserve(static_cast<size_t>(store.points->length));
      for (int64_t i = 0; i < store.points->length; ++i) {
        const auto* p = static_cast<const PointEntry*>(store.points->data[i].ptr);
        pairs.push_back({p->y, p->x});
      }
    }
    const AxisVote vote = count_axis_votes(*area, pairs.empty() ? store.inline_pairs : pairs);
    easting_first = pairs_are_easting_first(vote);
    if (easting_first) {
      std::fprintf(stderr,
                   "egib2shp: coordinate pairs read easting first (EN): %lld of %lld lie in the "
                   "area of %s read that way, %lld read northing first (--axes=NE keeps the "
                   "northing first)\n",
                   static_cast<long long>(vote.inside_easting_first),
                   static_cast<long long>(vote.pairs), system_name(run.input_system).c_str(),
                   static_cast<long long>(vote.inside_northing_first));
    }
  }
  if (!easting_first) return;
  run.swap_axes = true;
  Array* points = point_store().points;
  for (int64_t i = 0; i < points->length; ++i) {
    auto* p = static_cast<PointEntry*>(points->data[i].ptr);
    std::swap(p->x, p->y);
  }
}

// The code page of the input's texts: given, or told from its bytes.
bool settle_encoding(const Options& options, SwdeInput& input) {
  switch (options.encoding) {
    case EncodingChoice::kIso8859_2:
      input.set_encoding(TextEncoding::kIso8859_2);
      return true;
    case EncodingChoice::kWindows1250:
      input.set_encoding(TextEncoding::kWindows1250);
      return true;
    case EncodingChoice::kUtf8:
      input.set_encoding(TextEncoding::kUtf8);
      return true;
    case EncodingChoice::kAuto:
      break;
  }
  EncodingDetector detector;
  const bool ok = input.scan([&](std::span<const unsigned char> block) { return detector.feed(block); });
  input.set_encoding(detector.result());
  return ok;
}

std::string encoding_option_name(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kWindows1250:
      return "windows-1250";
    case TextEncoding::kUtf8:
      return "utf-8";
    default:
      return "iso-8859-2";
  }
}

int usage_failure(const std::string& error) {
  if (!error.empty()) std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
  std::fputs(std::string(usage_text()).c_str(), stderr);
  return 2;
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

std::string layer_base_for(const Options& options) {
  const std::string base = layer_base_name(options.input);
  if (options.output_dir.empty()) return base;
  const size_t sep = base.find_last_of("/\\");
  const std::string name = sep == std::string::npos ? base : base.substr(sep + 1);
  std::string dir = options.output_dir;
  if (dir.back() != '/') dir += '/';
  return dir + name;
}

namespace {

// Says what failed, on stderr and in the report.
int failed(RunReport& report, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  if (report.error.empty()) report.error = message;
  return 1;
}

// The run from the opened input on; returns the exit status.
int convert_input(const Options& options, SwdeInput& input, RunReport& report) {
  RunState& run = run_state();
  const std::string input_base = layer_base_for(options);
  if (!options.output_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.output_dir, ec);
    if (ec || !std::filesystem::is_directory(options.output_dir)) {
      return failed(report, "egib2shp: cannot create the output directory " + options.output_dir +
                                ": " +
                                (ec ? ec.message() : std::string("a file of that name is in the way")));
    }
  }

  PointStore& store = point_store();
  store.points = Array_new(0, kPointEntrySize, 1000);

  FilePtr log(std::fopen(options.log_path.c_str(), "w"));
  if (!log) {
    release_points();
    return failed(report, "nie moge otworzyc pliku " + options.log_path);
  }
  set_run_log(log.get());
  line_number = 1;

  std::string error;
  if (!create_layers(options, input_base, run, &error)) {
    for (Layer* layer : run_layers(run)) layer->discard();
    release_points();
    set_run_log(nullptr);
    return failed(report, "egib2shp: " + error);
  }

  remove_work_files_on_signals(run);
  announce_conversion(run.input_system, run.output_system, run.variant, stderr);
  if (!settle_encoding(options, input)) {
    std::fprintf(stderr, "egib2shp: cannot read %s\n", options.input.c_str());
  }
  report.encoding = encoding_option_name(input.encoding());
  report.encoding_told = options.encoding == EncodingChoice::kAuto;

  report.passes_ran = true;
  run_pass("reading points", input, collect_pass);
  run.stats.points_collected = store.points->length;
  if (!is_accepted_header(input.header().c_str()) && !input.header().empty()) {
    std::fprintf(stderr,
                 "egib2shp: the first line is not an SWDE header (SWDE.w.2.00 or SWDE.w.3.00), "
                 "so no object is written: \"%s\"\n",
                 printable_prefix(input.header(), 40).c_str());
  }
  settle_axis_order(options, run);
  report.axis_order = run.swap_axes ? "EN" : "NE";
  report.axis_order_told = run.swap_axes && options.axes == AxisChoice::kAuto;
  if (run.points.created()) {
    // In input order, before the points are arranged for the lookups.
    run.stats.points_written = write_point_layer(*store.points, run.points, run.input_system,
                                                 run.output_system, run.variant);
  }
  build_point_indexes();
  input.rewind();
  run_pass("writing layers", input, write_pass);

  release_points();
  const std::vector<Layer*> layers = run_layers(run);
  int status = 0;
  for (Layer* layer : layers) {
    layer->close();
    if (layer->write_failed()) status = failed(report, "egib2shp: cannot write " + layer->final_base());
  }
  if (!io_failure().empty()) status = failed(report, "egib2shp: " + io_failure());
  // From here on the working files are renamed or removed by the run itself.
  default_signals();
  for (Layer* layer : layers) {
    if (status == 0 && !layer->commit(&error)) status = failed(report, "egib2shp: " + error);
  }
  if (status != 0) {
    for (Layer* layer : layers) layer->discard();
  } else {
    for (const Layer* layer : layers) {
      for (std::string& f : layer->final_files()) report.files.push_back(std::move(f));
    }
  }

  std::printf("faza10");
  std::fputs("KONIEC\n", log.get());
  set_run_log(nullptr);
  if (std::fclose(log.release()) != 0) {
    status = failed(report, "egib2shp: cannot write " + options.log_path);
  }
  std::printf("KONIEC\n");
  if (std::fflush(stdout) != 0) status = 1;
  return status;
}

}  // namespace

int run_converter(int argc, char** argv) {
  const ParsedCommandLine command_line =
      parse_command_line(std::span<const char* const>(argv, static_cast<size_t>(argc)));
  switch (command_line.action) {
    case ParsedCommandLine::Action::kHelp:
      std::fputs(std::string(usage_text()).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::kVersion:
      std::printf("egib2shp %s\n", EGIB_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::kUsageError:
      return usage_failure(command_line.error);
    case ParsedCommandLine::Action::kRun:
      break;
  }
  const Options& options = command_line.options;

  RunState& run = run_state();
  for (Layer* layer : {&run.parcel, &run.building, &run.points, &run.precincts}) *layer = Layer{};
  run.swap_axes = false;
  run.parcel_idents.clear();
  run.building_idents.clear();
  run.stats = RunStats{};
  clear_io_failure();
  run.input_system = options.input_system;
  run.output_system = options.output_system;
  run.variant = options.variant;

  const char* input_path = options.input.c_str();
  struct stat input_status {};
  if (stat(input_path, &input_status) == 0 && S_ISDIR(input_status.st_mode)) {
    std::fprintf(stderr, "egib2shp: %s is a directory, not an SWDE file\n", input_path);
    return 1;
  }
  SwdeInput input = SwdeInput::open(input_path);
  if (!input.is_open()) {
    std::fprintf(stderr, "nie moge otworzyc pliku %s\n", input_path);
    return 1;
  }

  const auto started = std::chrono::steady_clock::now();
  const uint64_t error_log_before = error_log_messages();
  RunReport report;
  report.input_path = options.input;
  report.input_bytes = input.size();
  report.input_system = options.input_system;
  report.output_system = options.output_system;
  report.variant = options.variant;
  report.points_layer = options.points;
  report.precinct_layer = options.precincts;
  report.run_log_path = options.log_path;
  report.error_log_path = error_log_path();

  int status = convert_input(options, input, report);
  report.error_log_messages = error_log_messages() - error_log_before;
  report.stats = run.stats;
  report.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (report.passes_ran) {
    print_summary(status == 0, report.error_log_messages, input.encoding(),
                  options.encoding == EncodingChoice::kAuto, report.wall_seconds);
  }
  if (!options.report_path.empty()) {
    report.exit_status = status;
    std::string error;
    if (!write_report(options.report_path, report, &error)) {
      std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
      status = 1;
    }
  }
  return status;
}

}  // namespace egib
