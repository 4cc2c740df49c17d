#include "driver/options.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
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
    "options:\n";
// Here the lines of the options, from the table of options.
constexpr std::string_view kUsageEnd =
    "\n"
    "Options come before the four arguments; \"--\" ends them.\n";

using Action = ParsedCommandLine::Action;

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

// One option of the command line: its names, the name of its value (empty
// for a switch), its lines in the usage text, and what it does to the
// options (an error of one line, or nothing).  The parser and the usage
// text are both made from the table below, so they cannot drift apart.
struct OptionSpec {
  char short_name;              // '\0': a long name alone
  std::string_view long_name;   // without its "--"
  std::string_view value_name;  // empty: takes no value
  std::string_view help;        // lines separated by '\n'
  Action action;                // kRun, or kHelp/kVersion that end the parse
  // `given` is the option as written ("-o" or "--output-dir"), `value` its
  // value when one was there.
  std::string (*apply)(Options& o, std::string_view given, const std::optional<std::string>& value);
};

std::string needs(std::string_view given, std::string_view what) {
  return "option '" + std::string(given) + "' needs " + std::string(what);
}

// --validate and --make-valid (which also repairs): GEOS checks the
// outlines, in a build that has it.
std::string checked_with_geos(Options& o, std::string_view given, bool repair) {
#ifdef EGIB_NO_GEOS
  (void)o;
  (void)repair;
  return "option '" + std::string(given) +
         "' needs GEOS, which this build of egib2shp does not have";
#else
  (void)given;
  o.validate = true;
  o.make_valid = o.make_valid || repair;
  return {};
#endif
}

std::string no_effect(Options&, std::string_view, const std::optional<std::string>&) {
  return {};
}

constexpr std::array kOptionTable{
    OptionSpec{'o', "output-dir", "DIR",
               "write the layers into DIR (created when missing),\n"
               "named after the input's file name",
               Action::kRun,
               [](Options& o, std::string_view given, const std::optional<std::string>& v) {
                 if (!v || v->empty()) return needs(given, "a directory");
                 o.output_dir = *v;
                 return std::string();
               }},
    OptionSpec{'\0', "points", "", "also write the boundary points, INPUT_PKT", Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>&) {
                 o.points = true;
                 return std::string();
               }},
    OptionSpec{'\0', "precincts", "", "also write the precinct outlines, INPUT_OBR", Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>&) {
                 o.precincts = true;
                 return std::string();
               }},
    OptionSpec{'\0', "all", "",
               "the whole register: every object type of the file\n"
               "as a layer INPUT_<TYPE> (or a table alone when it\n"
               "has no geometry), every attribute and relation as\n"
               "a column, INPUT_fields.csv and INPUT_META",
               Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>&) {
                 o.all = true;
                 return std::string();
               }},
    OptionSpec{'\0', "types", "LIST",
               "with --all only these types (comma-separated, as\n"
               "KLU or G5KLU); implies --all",
               Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 if (!v || type_list(*v).empty()) return needs("--types", "a list of types");
                 o.types = type_list(*v);
                 o.all = true;
                 return std::string();
               }},
    OptionSpec{'\0', "exclude-types", "LIST", "with --all all types but these; implies --all",
               Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 if (!v || type_list(*v).empty())
                   return needs("--exclude-types", "a list of types");
                 o.exclude_types = type_list(*v);
                 o.all = true;
                 return std::string();
               }},
    OptionSpec{'\0', "axes", "ORDER",
               "order of the coordinate pairs: NE (northing first),\n"
               "EN (easting first) or auto (default: told from the\n"
               "coordinates when the input system is known)",
               Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 if (!v || !parse_axes(*v, &o.axes)) {
                   return "option '--axes' takes NE, EN or auto, not '" + v.value_or("") + "'";
                 }
                 return std::string();
               }},
    OptionSpec{
        '\0', "encoding", "CODE",
        "texts of the input: auto (default), iso-8859-2,\n"
        "windows-1250 or utf-8",
        Action::kRun,
        [](Options& o, std::string_view, const std::optional<std::string>& v) {
          if (!v || !parse_encoding(*v, &o.encoding)) {
            return "option '--encoding' takes auto, iso-8859-2, windows-1250 or utf-8, not '" +
                   v.value_or("") + "'";
          }
          return std::string();
        }},
    OptionSpec{'\0', "log", "FILE", "the run log goes to FILE instead of err.log", Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 if (!v || v->empty()) return needs("--log", "a file name");
                 o.log_path = *v;
                 return std::string();
               }},
    OptionSpec{'\0', "report", "FILE", "write a JSON account of the run to FILE", Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 if (!v || v->empty()) return needs("--report", "a file name");
                 o.report_path = *v;
                 return std::string();
               }},
    OptionSpec{'\0', "validate", "",
               "check every outline with GEOS; count and log the\n"
               "ones that are not valid polygons",
               Action::kRun,
               [](Options& o, std::string_view given, const std::optional<std::string>&) {
                 return checked_with_geos(o, given, false);
               }},
    OptionSpec{'\0', "make-valid", "", "as --validate, and write GEOS's repair of them",
               Action::kRun,
               [](Options& o, std::string_view given, const std::optional<std::string>&) {
                 return checked_with_geos(o, given, true);
               }},
    OptionSpec{'j', "threads", "N",
               "use N threads (default: one per core; the\n"
               "output is the same for any N)",
               Action::kRun,
               [](Options& o, std::string_view, const std::optional<std::string>& v) {
                 char* end = nullptr;
                 const long n = v ? std::strtol(v->c_str(), &end, 10) : 0;
                 if (!v || v->empty() || *end != '\0' || n < 1 || n > 256) {
                   return "option '--threads' takes a number from 1 to 256, not '" +
                          v.value_or("") + "'";
                 }
                 o.threads = static_cast<int>(n);
                 return std::string();
               }},
    OptionSpec{'h', "help", "", "show this help and exit", Action::kHelp, no_effect},
    OptionSpec{'\0', "version", "", "show the version and exit", Action::kVersion, no_effect},
};

// The options' part of the usage text: the names in a column of 25
// characters (wider ones push their first help line two blanks on), the
// help lines beside and below them.
std::string options_usage() {
  constexpr size_t kColumn = 25;
  std::string text;
  for (const OptionSpec& spec : kOptionTable) {
    std::string names =
        spec.short_name != '\0' ? std::string("  -") + spec.short_name + ", " : std::string(6, ' ');
    names += "--";
    names += spec.long_name;
    if (!spec.value_name.empty()) {
      names += '=';
      names += spec.value_name;
    }
    names.append(names.size() + 2 <= kColumn ? kColumn - names.size() : 2, ' ');
    std::string_view help = spec.help;
    bool first = true;
    while (true) {
      const size_t end = help.find('\n');
      text += first ? names : std::string(kColumn, ' ');
      text += help.substr(0, end);
      text += '\n';
      first = false;
      if (end == std::string_view::npos) break;
      help.remove_prefix(end + 1);
    }
  }
  return text;
}

const OptionSpec* find_long(std::string_view name) {
  for (const OptionSpec& spec : kOptionTable) {
    if (spec.long_name == name) return &spec;
  }
  return nullptr;
}

const OptionSpec* find_short(char name) {
  for (const OptionSpec& spec : kOptionTable) {
    if (spec.short_name != '\0' && spec.short_name == name) return &spec;
  }
  return nullptr;
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
  static const std::string text = std::string(kUsage) + system_codes_usage() +
                                  std::string(kUsageTail) + options_usage() +
                                  std::string(kUsageEnd);
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

ParsedCommandLine parse_command_line(std::span<const char* const> args) {
  ParsedCommandLine r;
  Options& o = r.options;
  size_t i = 1;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;  // the first positional argument ("-" too)
    // "--name", "--name=value" or "--name value"; "-x", "-xvalue" or
    // "-x value".  A switch takes nothing after its name.
    const bool is_long = arg.substr(0, 2) == "--";
    const size_t name_end = is_long ? std::min(arg.find('='), arg.size()) : 2;
    const OptionSpec* spec = is_long ? find_long(arg.substr(2, name_end - 2)) : find_short(arg[1]);
    const bool attached = arg.size() > name_end;
    if (spec == nullptr || (spec->value_name.empty() && attached)) {
      return usage_error("unknown option '" + std::string(arg) + "'");
    }
    std::optional<std::string> value;
    if (!spec->value_name.empty()) {
      if (attached) {
        value = std::string(arg.substr(name_end + (arg[name_end] == '=' ? 1 : 0)));
      } else if (i + 1 < args.size()) {
        value = std::string(args[++i]);
      }
    }
    if (spec->action != Action::kRun) {
      r.action = spec->action;
      return r;
    }
    std::string error = spec->apply(o, arg.substr(0, name_end), value);
    if (!error.empty()) return usage_error(std::move(error));
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
