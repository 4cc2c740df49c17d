// The command line: GNU-style options before the four positional arguments
// (input file, input system, output system, variant), "--" ending them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace egib {

// Order of the two numbers of an SWDE coordinate pair.
enum class AxisChoice { kAuto, kNorthingFirst, kEastingFirst };

// Code page of the texts of the input.
enum class EncodingChoice { kAuto, kIso8859_2, kWindows1250, kUtf8 };

struct Options {
  std::string input;
  int32_t input_system = 0;
  int32_t output_system = 0;
  int32_t variant = 0;
  AxisChoice axes = AxisChoice::kAuto;
  EncodingChoice encoding = EncodingChoice::kAuto;
  std::string output_dir;  // empty: beside the input
  bool points = false;     // the boundary-point layer _PKT
  bool precincts = false;  // the precinct layer _OBR
  std::string log_path = "err.log";
  std::string report_path;  // empty: no report
  int threads = 0;          // 0: one per core
  // Output through GDAL: the driver's short name as ogr2ogr takes it
  // ("GPKG", "PostgreSQL", "FlatGeobuf"); empty or "ESRI Shapefile": the
  // shapefiles, written through shapelib.
  std::string format;
  std::string destination;  // a database connection (PG:"dbname=..."), or empty
  std::string schema;       // database schema of the tables, or empty
  bool overwrite = false;   // replace tables that exist already
  bool append = false;      // add to tables that exist, creating missing ones
  bool validate = false;    // outlines checked with GEOS
  bool make_valid = false;  // and written repaired (implies validate)
  // The whole register: every object type as a layer or table (--all),
  // only these types (--types) or all but these (--exclude-types); names
  // as the layers have them ("KLU") or as the file ("G5KLU").
  bool all = false;
  std::vector<std::string> types;
  std::vector<std::string> exclude_types;
};

// Whether the options ask for the shapefiles written through shapelib.
bool shapefile_output(const Options& options);

// Whether --types/--exclude-types let a layer name ("KLU") through.
bool type_selected(const Options& options, std::string_view layer_name);

struct ParsedCommandLine {
  enum class Action { kRun, kHelp, kVersion, kFormats, kUsageError };
  Action action = Action::kUsageError;
  Options options;
  std::string error;  // for kUsageError: what was wrong, one line
};

ParsedCommandLine parse_command_line(std::span<const char* const> args);

// A system argument: the program's own code as a decimal number ("2",
// "18"; text without digits is 0), or an EPSG code of one of its systems,
// bare or after "EPSG:" in any case ("2178", "epsg:2178" are 21).  False
// for "EPSG:" with a code of no system of the program.
bool parse_system_argument(std::string_view text, int32_t* code);

// The usage text (ends with a line end).
std::string_view usage_text();

}  // namespace egib
