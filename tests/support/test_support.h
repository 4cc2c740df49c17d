// Helpers shared by the tests: temporary directories, files, running the
// converter binary and reading its layers back with shapelib.
#pragma once

#include <shapefil.h>

#include <filesystem>
#include <string>
#include <vector>

namespace egib::test {

// A fresh directory that is removed again at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the egib2shp binary in dir with HOME=dir (so the error log lands
// there); args are passed as they are.  prefix is prepended to the shell
// command (for instance "ulimit -f 10;").
RunResult run_converter(const TempDir& dir, const std::vector<std::string>& args,
                        const std::string& prefix = "");

// A small SWDE file: header, an object section holding body, end of file.
std::string swde_file(const std::string& body, const std::string& header = "SWDE.w.3.00");

struct ShapeRecord {
  std::vector<int> part_start;
  std::vector<double> x, y;
};

struct LayerContent {
  int shape_type = -1;
  int shape_count = -1;
  int record_count = -1;
  std::vector<ShapeRecord> shapes;
  std::vector<std::string> field_names;
  std::vector<char> field_types;  // dBase native types: 'C', 'N'
  std::vector<int> widths, decimals;
  // Raw attribute text of each record, as stored (blank-padded).
  std::vector<std::vector<std::string>> raw;
};

LayerContent read_layer(const std::string& base);

// A run of the binary on content written as dir/in.swd, with the system
// codes and variant, and both layers read back.
struct Conversion {
  RunResult result;
  LayerContent parcels;
  LayerContent buildings;
};
Conversion convert_swde(const TempDir& dir, const std::string& content,
                        const std::vector<std::string>& codes = {"0", "0", "0"});

}  // namespace egib::test
