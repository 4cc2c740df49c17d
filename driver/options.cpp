#include "driver/options.h"

#include <cstdlib>
#include <string>

#include "geodesy/coordinate_systems.h"
#include "geodesy/prj_wkt.h"

namespace egib {

namespace {

constexpr std::string_view kUsage =
    "usage: egib2shp [OPTION]... INPUT.swd INPUT_SYSTEM OUTPUT_SYSTEM VARIANT\n"
    "\n"
    "Converts the parcels (G5DZE) and buildings (G5BUD) of an SWDE file into\n"
    "the polygon shapefiles INPUT_DZE and INPUT_BUD.\n"
    "\n"
    "system codes (or the EPSG code, bare or as EPSG:NNNN):\n";
// Here the lines of the codes, from the table of systems.
constexpr std::string_view kUsageTail =
    "  equal codes   no conversion (for a 1965 zone: the polynomial correction alone)\n"
    "\n"
    "variant: 1 turns mathematical 1965 coordinates into the catalogue ones of\n"
    "county registers, 2 the reverse (a county file into the 1992 or 2000\n"
    "grid: 2); any other value skips the correction.\n"
    "\n"
    "options:\n"
    "  -o, --output-dir=DIR   write the layers into DIR (created when missing),\n"
    "                         named after the input's file name\n"
    "      --points           also write the boundary points, INPUT_PKT\n"
    "      --precincts        also write the precinct outlines, INPUT_OBR\n"
    "      --all              the whole register: every object type of the file\n"
    "                         as a layer INPUT_<TYPE> (or a table alone when it\n"
    "                         has no geometry), every attribute and relation as\n"
    "                         a column, INPUT_fields.csv and INPUT_META\n"
    "      --types=LIST       with --all only these types (comma-separated, as\n"
    "                         KLU or G5KLU); implies --all\n"
    "      --exclude-types=LIST  with --all all types but these; implies --all\n"
    "      --axes=ORDER       order of the coordinate pairs: NE (northing first),\n"
    "                         EN (easting first) or auto (default: told from the\n"
    "                         coordinates when the input system is known)\n"
    "      --encoding=CODE    texts of the input: auto (default), iso-8859-2,\n"
    "                         windows-1250 or utf-8\n"
    "      --log=FILE         the run log goes to FILE instead of err.log\n"
    "      --report=FILE      write a JSON account of the run to FILE\n"
    "      --validate         check every outline with GEOS; count and log the\n"
    "                         ones that are not valid polygons\n"
    "      --make-valid       as --validate, and write GEOS's repair of them\n"
    "  -j, --threads=N        use N threads (default: one per core; the\n"
    "                         output is the same for any N)\n"
    "  -f, --format=FORMAT    output format as GDAL names it: \"ESRI Shapefile\"\n"
    "                         (the default, through shapelib), GPKG, PostgreSQL,\n"
    "                         FlatGeobuf, ...: every layer in one destination\n"
    "                         (INPUT.gpkg; FlatGeobuf: the folder INPUT_fgb)\n"
    "      --formats          list the output formats of this build and exit\n"
    "      --destination=DB   the database to write into: PG:\"dbname=... host=...\"\n"
    "                         (-o PG:\"...\" says the same)\n"
    "      --schema=NAME      database schema of the tables\n"
    "      --overwrite        replace tables that exist already\n"
    "      --append           add to the tables that exist (missing ones are\n"
    "                         created); each row names its file in ZRODLO\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Options come before the four arguments; \"--\" ends them.\n";

using Action = ParsedCommandLine::Action;

// The long options that take a value.
constexpr std::string_view kOutputDir = "--output-dir";
constexpr std::string_view kAxes = "--axes";
constexpr std::string_view kEncoding = "--encoding";
constexpr std::string_view kThreads = "--threads";
constexpr std::string_view kLog = "--log";
constexpr std::string_view kReport = "--report";
constexpr std::string_view kFormat = "--format";
constexpr std::string_view kDestination = "--destination";
constexpr std::string_view kSchema = "--schema";
constexpr std::string_view kTypes = "--types";
constexpr std::string_view kExcludeTypes = "--exclude-types";

// A list of type names, each less its "G5G_"/"G5" prefix.
std::vector<std::string> type_list(std::string_view v) {
  std::vector<std::string> names;
  while (!v.empty()) {
    const size_t comma = v.find(',');
    std::string_view name = v.substr(0, comma);
    if (name.substr(0, 4) == "G5G_") {
      name.remove_prefix(4);
    } else if (name.substr(0, 2) == "G5") {
      name.remove_prefix(2);
    }
    if (!name.empty()) names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    v.remove_prefix(comma + 1);
  }
  return names;
}

ParsedCommandLine usage_error(std::string message) {
  ParsedCommandLine r;
  r.action = Action::kUsageError;
  r.error = std::move(message);
  return r;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool parse_axes(std::string_view v, AxisChoice* out) {
  if (equals_ignoring_case(v, "auto")) {
    *out = AxisChoice::kAuto;
  } else if (equals_ignoring_case(v, "NE")) {
    *out = AxisChoice::kNorthingFirst;
  } else if (equals_ignoring_case(v, "EN")) {
    *out = AxisChoice::kEastingFirst;
  } else {
    return false;
  }
  return true;
}

bool parse_encoding(std::string_view v, EncodingChoice* out) {
  if (equals_ignoring_case(v, "auto")) {
    *out = EncodingChoice::kAuto;
  } else if (equals_ignoring_case(v, "iso-8859-2") || equals_ignoring_case(v, "latin2")) {
    *out = EncodingChoice::kIso8859_2;
  } else if (equals_ignoring_case(v, "windows-1250") || equals_ignoring_case(v, "cp1250")) {
    *out = EncodingChoice::kWindows1250;
  } else if (equals_ignoring_case(v, "utf-8") || equals_ignoring_case(v, "utf8")) {
    *out = EncodingChoice::kUtf8;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool type_selected(const Options& options, std::string_view name) {
  const auto listed = [&](const std::vector<std::string>& list) {
    for (const std::string& n : list) {
      if (equals_ignoring_case(n, name)) return true;
    }
    return false;
  };
  if (!options.types.empty() && !listed(options.types)) return false;
  return !listed(options.exclude_types);
}

std::string_view usage_text() {
  static const std::string text =
      std::string(kUsage) + system_codes_usage() + std::string(kUsageTail);
  return text;
}

bool parse_system_argument(std::string_view text, int32_t* code) {
  constexpr std::string_view kPrefix = "EPSG:";
  if (text.size() >= kPrefix.size() && equals_ignoring_case(text.substr(0, 5), kPrefix)) {
    const std::string digits(text.substr(kPrefix.size()));
    char* end = nullptr;
    const long epsg = std::strtol(digits.c_str(), &end, 10);
    const int system = system_of_epsg(static_cast<int>(epsg));
    if (digits.empty() || *end != '\0' || system == 0) return false;
    *code = system;
    return true;
  }
  // The program's own codes convert as a decimal number does (leading
  // blanks, a sign, digits up to the first other character, none is 0).
  const std::string s(text);
  const auto value = static_cast<int32_t>(std::strtol(s.c_str(), nullptr, 10));
  const int system = system_of_epsg(value);
  *code = system != 0 ? system : value;
  return true;
}

bool shapefile_output(const Options& options) {
  return options.format.empty() || equals_ignoring_case(options.format, "ESRI Shapefile");
}

ParsedCommandLine parse_command_line(std::span<const char* const> args) {
  ParsedCommandLine r;
  Options& o = r.options;
  size_t i = 1;
  // The value of an option that takes one: "--name=value", "--name value",
  // "-ovalue" or "-o value".
  const auto take_value = [&](std::string_view arg, size_t name_length,
                              std::string* value) -> bool {
    if (arg.size() > name_length && arg[name_length] == '=') {
      *value = std::string(arg.substr(name_length + 1));
      return true;
    }
    if (arg.size() > name_length && arg.substr(0, 2) != "--") {  // -oDIR
      *value = std::string(arg.substr(name_length));
      return true;
    }
    if (arg.size() == name_length && i + 1 < args.size()) {
      *value = args[++i];
      return true;
    }
    return false;
  };
  const auto is_option = [](std::string_view arg, std::string_view name) {
    return arg == name || (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                           arg[name.size()] == '=');
  };

  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;  // the first positional argument ("-" too)
    std::string value;
    if (arg == "-h" || arg == "--help") {
      r.action = Action::kHelp;
      return r;
    }
    if (arg == "--version") {
      r.action = Action::kVersion;
      return r;
    }
    if (arg == "--formats") {
      r.action = Action::kFormats;
      return r;
    }
    if (arg == "--points") {
      o.points = true;
    } else if (arg == "--precincts") {
      o.precincts = true;
    } else if (arg == "--overwrite") {
      o.overwrite = true;
    } else if (arg == "--append") {
      o.append = true;
    } else if (arg.substr(0, 2) == "-f" || is_option(arg, kFormat)) {
      const size_t name_length = arg.substr(0, 2) == "-f" ? 2 : kFormat.size();
      if (!take_value(arg, name_length, &value) || value.empty()) {
        return usage_error("option '--format' needs a format name (--formats lists them)");
      }
      o.format = value;
    } else if (is_option(arg, kDestination)) {
      if (!take_value(arg, kDestination.size(), &value) || value.empty()) {
        return usage_error("option '--destination' needs a database connection (PG:...)");
      }
      o.destination = value;
    } else if (is_option(arg, kSchema)) {
      if (!take_value(arg, kSchema.size(), &value) || value.empty()) {
        return usage_error("option '--schema' needs a schema name");
      }
      o.schema = value;
    } else if (arg == "--validate" || arg == "--make-valid") {
#ifdef EGIB_NO_GEOS
      return usage_error("option '" + std::string(arg) +
                         "' needs GEOS, which this build of egib2shp does not have");
#else
      o.validate = true;
      o.make_valid = arg == "--make-valid";
#endif
    } else if (arg == "--all") {
      o.all = true;
    } else if (is_option(arg, kTypes) || is_option(arg, kExcludeTypes)) {
      const bool only = is_option(arg, kTypes);
      const std::string_view name = only ? kTypes : kExcludeTypes;
      if (!take_value(arg, name.size(), &value) || type_list(value).empty()) {
        return usage_error("option '" + std::string(name) + "' needs a list of types");
      }
      (only ? o.types : o.exclude_types) = type_list(value);
      o.all = true;
    } else if (arg.substr(0, 2) == "-o") {
      if (!take_value(arg, 2, &value) || value.empty()) {
        return usage_error("option '-o' needs a directory");
      }
      // A database connection in place of a directory.
      (value.substr(0, 3) == "PG:" ? o.destination : o.output_dir) = value;
    } else if (is_option(arg, kOutputDir)) {
      if (!take_value(arg, kOutputDir.size(), &value) || value.empty()) {
        return usage_error("option '--output-dir' needs a directory");
      }
      o.output_dir = value;
    } else if (is_option(arg, kAxes)) {
      if (!take_value(arg, kAxes.size(), &value) || !parse_axes(value, &o.axes)) {
        return usage_error("option '--axes' takes NE, EN or auto, not '" + value + "'");
      }
    } else if (is_option(arg, kEncoding)) {
      if (!take_value(arg, kEncoding.size(), &value) || !parse_encoding(value, &o.encoding)) {
        return usage_error(
            "option '--encoding' takes auto, iso-8859-2, windows-1250 or utf-8, not '" + value +
            "'");
      }
    } else if (arg.substr(0, 2) == "-j" || is_option(arg, kThreads)) {
      const size_t name_length = arg.substr(0, 2) == "-j" ? 2 : kThreads.size();
      char* end = nullptr;
      long n = 0;
      if (take_value(arg, name_length, &value)) n = std::strtol(value.c_str(), &end, 10);
      if (end == nullptr || *end != '\0' || value.empty() || n < 1 || n > 256) {
        return usage_error("option '--threads' takes a number from 1 to 256, not '" + value + "'");
      }
      o.threads = static_cast<int>(n);
    } else if (is_option(arg, kLog)) {
      if (!take_value(arg, kLog.size(), &value) || value.empty()) {
        return usage_error("option '--log' needs a file name");
      }
      o.log_path = value;
    } else if (is_option(arg, kReport)) {
      if (!take_value(arg, kReport.size(), &value) || value.empty()) {
        return usage_error("option '--report' needs a file name");
      }
      o.report_path = value;
    } else {
      return usage_error("unknown option '" + std::string(arg) + "'");
    }
  }

  if (o.overwrite && o.append) {
    return usage_error("options '--overwrite' and '--append' exclude each other");
  }
#ifndef EGIB_WITH_GDAL
  if (!shapefile_output(o)) {
    return usage_error("format '" + o.format +
                       "': this build of egib2shp has no GDAL and writes \"ESRI Shapefile\" only");
  }
#endif
  if (shapefile_output(o) && (!o.destination.empty() || !o.schema.empty() || o.append)) {
    return usage_error(
        "options '--destination', '--schema' and '--append' need a database format "
        "(-f PostgreSQL)");
  }
  const size_t positional = args.size() - i;
  if (positional != 4) {
    return usage_error(positional < 4 ? ""
                                      : "too many arguments: '" + std::string(args[i + 4]) +
                                            "' after the four");
  }
  o.input = args[i];
  if (!parse_system_argument(args[i + 1], &o.input_system)) {
    return usage_error("'" + std::string(args[i + 1]) + "' is not the EPSG code of a system");
  }
  if (!parse_system_argument(args[i + 2], &o.output_system)) {
    return usage_error("'" + std::string(args[i + 2]) + "' is not the EPSG code of a system");
  }
  o.variant = static_cast<int32_t>(std::strtol(args[i + 3], nullptr, 10));
  r.action = Action::kRun;
  return r;
}

}  // namespace egib
