// The command line: options before the four arguments, system codes given
// as EPSG codes, usage errors.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using egib::AxisChoice;
using egib::EncodingChoice;
using egib::ParsedCommandLine;
using Action = ParsedCommandLine::Action;

ParsedCommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "egib2shp");
  return egib::parse_command_line(args);
}

TEST(CommandLine, FourArgumentsAlone) {
  const auto r = parse({"plik.swd", "2", "18", "1"});
  ASSERT_EQ(r.action, Action::kRun);
  EXPECT_EQ(r.options.input, "plik.swd");
  EXPECT_EQ(r.options.input_system, 2);
  EXPECT_EQ(r.options.output_system, 18);
  EXPECT_EQ(r.options.variant, 1);
  EXPECT_EQ(r.options.axes, AxisChoice::kAuto);
  EXPECT_EQ(r.options.encoding, EncodingChoice::kAuto);
  EXPECT_FALSE(r.options.points);
  EXPECT_EQ(r.options.log_path, "err.log");
  // Numbers convert as before: text without digits is 0, and after the
  // first positional argument nothing is an option, not even "-1".
  const auto n = parse({"-", "x", " -1", "2abc"});
  ASSERT_EQ(n.action, Action::kRun);
  EXPECT_EQ(n.options.input, "-");
  EXPECT_EQ(n.options.input_system, 0);
  EXPECT_EQ(n.options.output_system, -1);
  EXPECT_EQ(n.options.variant, 2);
}

TEST(CommandLine, EpsgCodesNameTheSystems) {
  const std::vector<std::pair<const char*, int>> cases = {
      {"3120", 1},  {"2172", 2},       {"EPSG:2173", 3}, {"epsg:2174", 4},  {"Epsg:2175", 5},
      {"2180", 10}, {"EPSG:2176", 15}, {"2177", 18},     {"ePsG:2178", 21}, {"2179", 24},
      {"21", 21},   {"7", 7},          {"4326", 4326}};
  for (const auto& [text, code] : cases) {
    int32_t got = -99;
    EXPECT_TRUE(egib::parse_system_argument(text, &got)) << text;
    EXPECT_EQ(got, code) << text;
  }
  int32_t got = 0;
  EXPECT_FALSE(egib::parse_system_argument("EPSG:4326", &got));
  EXPECT_FALSE(egib::parse_system_argument("EPSG:", &got));
  EXPECT_FALSE(egib::parse_system_argument("EPSG:2178x", &got));
  const auto r = parse({"p.swd", "EPSG:9999", "2", "0"});
  EXPECT_EQ(r.action, Action::kUsageError);
  EXPECT_NE(r.error.find("EPSG:9999"), std::string::npos);
}

TEST(CommandLine, OptionsInTheirGnuForms) {
  const auto r =
      parse({"--points", "--precincts", "-o", "out", "--axes=EN", "--encoding", "utf-8",
             "--log=run.log", "--report", "r.json", "--", "-plik.swd", "2", "2178", "0"});
  ASSERT_EQ(r.action, Action::kRun) << r.error;
  EXPECT_TRUE(r.options.points);
  EXPECT_TRUE(r.options.precincts);
  EXPECT_EQ(r.options.output_dir, "out");
  EXPECT_EQ(r.options.axes, AxisChoice::kEastingFirst);
  EXPECT_EQ(r.options.encoding, EncodingChoice::kUtf8);
  EXPECT_EQ(r.options.log_path, "run.log");
  EXPECT_EQ(r.options.report_path, "r.json");
  EXPECT_EQ(r.options.input, "-plik.swd");
  EXPECT_EQ(r.options.output_system, 21);

  EXPECT_EQ(parse({"-oout", "a", "1", "1", "0"}).options.output_dir, "out");
  EXPECT_EQ(parse({"--output-dir=d/e", "a", "1", "1", "0"}).options.output_dir, "d/e");
  EXPECT_EQ(parse({"--output-dir", "d", "a", "1", "1", "0"}).options.output_dir, "d");
  EXPECT_EQ(parse({"--axes=ne", "a", "1", "1", "0"}).options.axes, AxisChoice::kNorthingFirst);
  EXPECT_EQ(parse({"--encoding=windows-1250", "a", "1", "1", "0"}).options.encoding,
            EncodingChoice::kWindows1250);
  EXPECT_EQ(parse({"--encoding=ISO-8859-2", "a", "1", "1", "0"}).options.encoding,
            EncodingChoice::kIso8859_2);
  EXPECT_EQ(parse({"a", "1", "1", "0"}).options.threads, 0);  // one per core
  EXPECT_EQ(parse({"-j1", "a", "1", "1", "0"}).options.threads, 1);
  EXPECT_EQ(parse({"-j", "3", "a", "1", "1", "0"}).options.threads, 3);
  EXPECT_EQ(parse({"--threads=2", "a", "1", "1", "0"}).options.threads, 2);
  // --make-valid checks as --validate does, and repairs.
  const auto validate = parse({"--validate", "a", "1", "1", "0"}).options;
  EXPECT_TRUE(validate.validate);
  EXPECT_FALSE(validate.make_valid);
  const auto repair = parse({"--make-valid", "a", "1", "1", "0"}).options;
  EXPECT_TRUE(repair.validate);
  EXPECT_TRUE(repair.make_valid);
  EXPECT_FALSE(parse({"a", "1", "1", "0"}).options.validate);
  for (const char* bad : {"-j0", "--threads=x", "--threads=", "-j2x", "--threads=1000"}) {
    EXPECT_EQ(parse({bad, "a", "1", "1", "0"}).action, Action::kUsageError) << bad;
  }
}

TEST(CommandLine, HelpVersionAndUsageErrors) {
  EXPECT_EQ(parse({"--help"}).action, Action::kHelp);
  EXPECT_EQ(parse({"-h", "a", "1", "1", "0"}).action, Action::kHelp);
  EXPECT_EQ(parse({"--version"}).action, Action::kVersion);
  const auto unknown = parse({"--frobnicate", "a", "1", "1", "0"});
  EXPECT_EQ(unknown.action, Action::kUsageError);
  EXPECT_EQ(unknown.error, "unknown option '--frobnicate'");
  EXPECT_EQ(parse({"--pointsx", "a", "1", "1", "0"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"--axes=XY", "a", "1", "1", "0"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"--encoding=ebcdic", "a", "1", "1", "0"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"a", "1", "1", "0", "--points"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"a", "1", "1"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"-o"}).action, Action::kUsageError);
  EXPECT_EQ(parse({}).action, Action::kUsageError);
}

// Every option the usage text lists is taken by the parser in each of its
// forms, and a value-taking one refuses to be given without its value:
// both come from one table, and this catches a row that lost either.
TEST(CommandLine, UsageTextListsWhatTheParserTakes) {
  const std::string usage(egib::usage_text());
  size_t listed = 0;
  size_t at = 0;
  while ((at = usage.find("\n  ", at)) != std::string::npos) {
    ++at;
    const size_t end = usage.find('\n', at);
    const std::string line = usage.substr(at, end - at);
    const size_t dashes = line.find("--");
    if (line.find_first_not_of(' ') != line.find('-') || dashes == std::string::npos ||
        line.find_first_not_of(' ') > 6) {
      continue;
    }
    const size_t name_end = line.find_first_of(" =", dashes);
    const std::string name = line.substr(dashes, name_end - dashes);
    const bool takes_value = line[name_end] == '=';
    if (name == "--help" || name == "--version") continue;
    ++listed;
    // A value that suits every option: a list, a file, a folder, a thread
    // count are all happy with "2"; the axes and code pages take "auto".
    const char* value = (name == "--axes" || name == "--encoding") ? "auto" : "2";
    const auto joined = takes_value ? parse({(name + "=" + value).c_str(), "a", "1", "1", "0"})
                                    : parse({name.c_str(), "a", "1", "1", "0"});
#ifndef EGIB_NO_GEOS
    EXPECT_EQ(joined.action, Action::kRun) << name << ": " << joined.error;
#endif
    if (takes_value) {
      const auto apart = parse({name.c_str(), value, "a", "1", "1", "0"});
      EXPECT_EQ(apart.action, Action::kRun) << name << ": " << apart.error;
      EXPECT_EQ(parse({name.c_str()}).action, Action::kUsageError) << name;
    } else {
      EXPECT_EQ(parse({(name + "=1").c_str(), "a", "1", "1", "0"}).error,
                "unknown option '" + name + "=1'");
    }
    if (line.compare(0, 3, "  -") == 0 && line[3] != '-') {  // "-o, --output-dir"
      const std::string short_name = line.substr(2, 2);
      const auto short_form = takes_value
                                  ? parse({(short_name + value).c_str(), "a", "1", "1", "0"})
                                  : parse({short_name.c_str(), "a", "1", "1", "0"});
      EXPECT_EQ(short_form.action, Action::kRun) << short_name << ": " << short_form.error;
    }
  }
  EXPECT_GE(listed, 13u);
  // Messages name the option as it was written.
  EXPECT_EQ(parse({"-o"}).error, "option '-o' needs a directory");
  EXPECT_EQ(parse({"--output-dir"}).error, "option '--output-dir' needs a directory");
  EXPECT_EQ(parse({"-j=4", "a", "1", "1", "0"}).options.threads, 4);
  EXPECT_EQ(parse({"-hx", "a", "1", "1", "0"}).error, "unknown option '-hx'");
}

}  // namespace

namespace {

TEST(CommandLine, WholeRegisterTypes) {
  const auto plain = parse({"plik.swd", "2", "18", "1"});
  EXPECT_FALSE(plain.options.all);
  const auto all = parse({"--all", "plik.swd", "2", "18", "1"});
  ASSERT_EQ(all.action, Action::kRun);
  EXPECT_TRUE(all.options.all);
  EXPECT_TRUE(egib::type_selected(all.options, "OSF"));
  // A list implies --all; names with or without their prefix, in any case.
  const auto only = parse({"--types=G5KLU,jrg,G5G_DZE", "plik.swd", "2", "18", "1"});
  ASSERT_EQ(only.action, Action::kRun);
  EXPECT_TRUE(only.options.all);
  EXPECT_TRUE(egib::type_selected(only.options, "KLU"));
  EXPECT_TRUE(egib::type_selected(only.options, "JRG"));
  EXPECT_TRUE(egib::type_selected(only.options, "DZE"));
  EXPECT_FALSE(egib::type_selected(only.options, "OSF"));
  const auto but = parse({"--exclude-types", "OSF,G5UDZ", "plik.swd", "2", "18", "1"});
  ASSERT_EQ(but.action, Action::kRun);
  EXPECT_FALSE(egib::type_selected(but.options, "OSF"));
  EXPECT_FALSE(egib::type_selected(but.options, "UDZ"));
  EXPECT_TRUE(egib::type_selected(but.options, "KLU"));
  EXPECT_EQ(parse({"--types=", "plik.swd", "2", "18", "1"}).action, Action::kUsageError);
  EXPECT_EQ(parse({"--exclude-types=,", "plik.swd", "2", "18", "1"}).action, Action::kUsageError);
}

}  // namespace
