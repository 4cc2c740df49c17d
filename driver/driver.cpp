#include "driver/driver.h"

#include <cstdio>
#include <string>
#include <vector>

#include "diag/error_log.h"
#include "diag/file_system.h"
#include "driver/conversion_run.h"
#include "driver/options.h"
#include "driver/run_report.h"
#include "geodesy/transform.h"
#include "layers/gdal_destination.h"
#include "swde/input_file.h"

namespace egib {

namespace {

const char* plural(int64_t n, const char* one, const char* many) {
  return n == 1 ? one : many;
}

// What the run did, on stderr, so that nobody has to read the console
// messages to know it.
void print_summary(ConversionRun& run, const Options& options, bool written) {
  const RunReport& report = run.report();
  const RunStats& st = report.stats;
  const LayerCounts& w = st.written;
  const OutlineStats& o = st.outlines;
  const auto n = [](int64_t v) { return static_cast<long long>(v); };
  std::fprintf(stderr, "egib2shp: %lld %s and %lld %s %s (%lld %s), %lld %s collected\n",
               n(w.parcels_written), plural(w.parcels_written, "parcel", "parcels"),
               n(w.buildings_written), plural(w.buildings_written, "building", "buildings"),
               written ? "written" : "assembled, none of them written", n(w.vertices_written),
               plural(w.vertices_written, "vertex", "vertices"), n(st.points_collected),
               plural(st.points_collected, "point", "points"));
  if (st.objects_without_vertex + o.unresolved_references + o.lists_without_ring_start > 0) {
    std::fprintf(
        stderr,
        "egib2shp: skipped: %lld %s without any vertex, %lld unresolved point %s, "
        "%lld geometry %s without a ring start (see err.log)\n",
        n(st.objects_without_vertex), plural(st.objects_without_vertex, "object", "objects"),
        n(o.unresolved_references), plural(o.unresolved_references, "reference", "references"),
        n(o.lists_without_ring_start), plural(o.lists_without_ring_start, "list", "lists"));
  }
  if (o.points_without_coordinates > 0) {
    std::fprintf(stderr, "egib2shp: skipped: %lld %s to points without coordinates (no P,G line)\n",
                 n(o.points_without_coordinates),
                 plural(o.points_without_coordinates, "reference", "references"));
  }
  if (options.validate) {
    std::fprintf(stderr, "egib2shp: %lld %s not valid polygons as read%s (GEOS; see %s)\n",
                 n(o.invalid_outlines), plural(o.invalid_outlines, "outline", "outlines"),
                 options.make_valid ? ", written as repaired" : "", options.log_path.c_str());
  }
  if (o.texts_cut > 0) {
    std::fprintf(stderr, "egib2shp: %lld %s cut (named in the error log %s)\n", n(o.texts_cut),
                 plural(o.texts_cut, "text", "texts"), error_log_path().c_str());
  }
  if (w.degenerate_outlines + w.duplicate_parcel_ids + w.duplicate_building_ids > 0) {
    std::fprintf(
        stderr,
        "egib2shp: to look at: %lld %s with fewer than three distinct vertices, "
        "%lld parcel %s and %lld building %s written more than once\n",
        n(w.degenerate_outlines), plural(w.degenerate_outlines, "outline", "outlines"),
        n(w.duplicate_parcel_ids), plural(w.duplicate_parcel_ids, "identifier", "identifiers"),
        n(w.duplicate_building_ids), plural(w.duplicate_building_ids, "identifier", "identifiers"));
  }
  for (const std::string& file : w.large_files) {
    std::fprintf(stderr,
                 "egib2shp: warning: %s is larger than 2 GiB, more than many programs read "
                 "(GDAL and QGIS do)\n",
                 file.c_str());
  }
  if (report.error_log_messages > 0) {
    const auto count = static_cast<long long>(report.error_log_messages);
    std::fprintf(stderr, "egib2shp: %lld %s written to the error log %s\n", count,
                 count == 1 ? "message" : "messages", report.error_log_path.c_str());
  }
  std::fprintf(stderr, "egib2shp: texts read as %s%s and written in %s\n",
               std::string(encoding_name(run.encoding())).c_str(),
               options.encoding == EncodingChoice::kAuto ? " (told from the file)" : "",
               run.gdal_output() != nullptr ? "UTF-8" : "Windows-1250");
  std::fprintf(stderr, "egib2shp: %s%s\n", run.transform().description().c_str(),
               run.easting_first() ? "; coordinate pairs read easting first" : "");
  if (options.points || options.precincts || options.all) {
    std::fprintf(stderr, "egib2shp: %lld %s and %lld %s written\n", n(st.points_written),
                 plural(st.points_written, "boundary point", "boundary points"),
                 n(w.precincts_written), plural(w.precincts_written, "precinct", "precincts"));
  }
  if (written && run.gdal_output() != nullptr) {
    std::string names;
    for (const std::string& name : run.gdal_output()->layer_names()) {
      names += (names.empty() ? "" : ", ") + name;
    }
    // The list of the register's columns, written beside the destination.
    const std::string& list = run.report().fields_list;
    const std::string beside = list.empty() ? "" : " and " + list;
    std::fprintf(stderr, "egib2shp: wrote %s (%s)%s\n",
                 run.gdal_output()->destination_name().c_str(), names.c_str(), beside.c_str());
  } else if (written) {
    const char* prj = run.transform().written_system() != 0 ? ",prj" : "";
    std::vector<std::string> files;
    for (const Layer* layer : run.layers()) {
      files.push_back(layer->final_base() + (layer->table_only()
                                                 ? std::string(".{dbf,cpg}")
                                                 : std::string(".{shp,shx,dbf,cpg") + prj + "}"));
    }
    // The list of the register's columns with their full names.
    if (!run.report().fields_list.empty()) files.push_back(run.report().fields_list);
    std::string names;
    for (size_t i = 0; i < files.size(); ++i) {
      if (i > 0) names += i + 1 == files.size() ? " and " : ", ";
      names += files[i];
    }
    std::fprintf(stderr, "egib2shp: wrote %s\n", names.c_str());
  } else {
    std::fprintf(stderr, "egib2shp: no layer written; earlier layers are left as they were\n");
  }
  std::fprintf(stderr, "egib2shp: %.2f s\n", report.wall_seconds);
}

// The output formats: the shapefiles, then GDAL's.
int list_formats() {
  std::printf("ESRI Shapefile  (the default, written through shapelib)\n");
  if (!gdal_built_in()) {
#if defined(EGIB_WITH_GDAL)
    std::printf("(no other format: %s)\n", gdal_unavailable_reason().c_str());
#else
    std::printf("(this build has no GDAL: no other format)\n");
#endif
  }
  for (const GdalFormat& f : gdal_vector_formats()) {
    if (f.name == "ESRI Shapefile") continue;
    std::printf("%s  (%s%s)\n", f.name.c_str(), f.long_name.c_str(),
                gdal_format_is_database(f.name) ? "; a database: --destination" : "");
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int usage_failure(const std::string& error) {
  if (!error.empty()) std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
  std::fputs(std::string(usage_text()).c_str(), stderr);
  return 2;
}

// The run of the four arguments and the options, from opening the input.
int convert(const Options& options) {
  if (!shapefile_output(options) && gdal_format_is_database(options.format) &&
      options.destination.empty()) {
    return usage_failure("-f " + options.format +
                         " writes into a database: give it with --destination=PG:\"...\"");
  }
  const char* input_path = options.input.c_str();
  if (is_directory(options.input)) {
    std::fprintf(stderr, "egib2shp: %s is a directory, not an SWDE file\n", input_path);
    return 1;
  }
  std::string open_error;
  InputFile input = InputFile::open(options.input, &open_error);
  if (!input.is_open()) {
    std::fprintf(stderr, "nie moge otworzyc pliku %s\n", input_path);
    return 1;
  }

  ConversionRun run(options, std::move(input));
  int status = run.execute();
  if (run.passes_ran()) print_summary(run, options, status == 0);
  if (!options.report_path.empty()) {
    RunReport& report = run.report();
    report.exit_status = status;
    std::string error;
    if (!write_report(options.report_path, report, &error)) {
      std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
      status = 1;
    }
  }
  return status;
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

int run_converter(int argc, char** argv) {
  const ParsedCommandLine command_line =
      parse_command_line(std::span<const char* const>(argv, static_cast<size_t>(argc)));
  switch (command_line.action) {
    case ParsedCommandLine::Action::kHelp:
      std::fputs(std::string(usage_text()).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::kVersion:
#if defined(EGIB_SHAPEFILES_ONLY)
      // The Windows build has no GDAL behind it.
      std::printf("egib2shp %s (this build writes ESRI shapefiles only: no GDAL)\n", EGIB_VERSION);
#else
      std::printf("egib2shp %s\n", EGIB_VERSION);
#endif
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::kFormats:
      return list_formats();
    case ParsedCommandLine::Action::kUsageError:
      return usage_failure(command_line.error);
    case ParsedCommandLine::Action::kRun:
      break;
  }
  return convert(command_line.options);
}

}  // namespace egib
