// The machine-readable account of a run (--report=FILE): one JSON object
// with what the summary says, for batch conversions that collect hundreds
// of them.  The names of its members are stable; the README lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layers/layer_records.h"

namespace egib {

// What a run did, for the summary at its end and the report.
struct RunStats {
  LayerCounts written;                 // parcels, buildings and precincts written
  OutlineStats outlines;               // unresolved references, lists without a ring start
  int64_t objects_without_vertex = 0;  // "error3": not written
  int64_t points_collected = 0;
  int64_t points_written = 0;  // with --points
};

// What the whole register (--all) wrote of one layer name.
struct RegisterTypeReport {
  std::string name;    // "KLU"
  std::string types;   // the SWDE types, "G5KLU"
  std::string output;  // "polygons", "lines", "points", "table", "columns added", "left out"
  int64_t objects_read = 0;
  int64_t rows_written = 0;
  int64_t attribute_values = 0;  // "D" lines written into cells
  int64_t relation_values = 0;   // "WG"/"WL" lines written into cells
  int64_t null_shapes = 0;
};

struct RunReport {
  std::string input_path;
  uint64_t input_bytes = 0;
  std::string encoding;        // "iso-8859-2", "windows-1250", "utf-8"
  bool encoding_told = false;  // told from the file, not given
  std::string axis_order = "NE";
  bool axis_order_told = false;  // turned after reading the coordinates
  int input_system = 0;
  int output_system = 0;
  int variant = 0;
  bool points_layer = false;
  bool precinct_layer = false;
  bool outlines_validated = false;  // --validate or --make-valid
  RunStats stats;
  uint64_t error_log_messages = 0;
  std::string error_log_path;
  std::string run_log_path;
  std::vector<std::string> files;  // written, final names
  std::string fields_list;         // <base>_fields.csv when written (--all), else empty
  double wall_seconds = 0;
  int exit_status = 0;
  std::string error;              // what failed, when the run failed
  bool passes_ran = false;        // the input was read (not in the JSON)
  bool register_written = false;  // --all
  std::vector<RegisterTypeReport> register_types;
  std::vector<std::pair<std::string, int64_t>> unresolved_relations;  // by relation name
  int64_t texts_cut = 0;  // texts longer than a dBase column holds
};

// The report as JSON text (UTF-8; bytes of paths that are not UTF-8 are
// written as the Latin-1 characters of the same codes).
std::string report_json(const RunReport& report);

// Writes the report under a working name beside path and renames it into
// place; false with a message in *error.
bool write_report(const std::string& path, const RunReport& report, std::string* error);

}  // namespace egib
