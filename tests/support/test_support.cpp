#include "tests/support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace egib::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("egib_test_" + std::to_string(rd()));
    if (fs::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  return fs::exists(path);
}

namespace {
std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}
}  // namespace

RunResult run_converter(const TempDir& dir, const std::vector<std::string>& args,
                        const std::string& prefix) {
  const std::string out = dir.file(".stdout");
  const std::string err = dir.file(".stderr");
  // EGIB_TEST_WRAPPER runs the binary under a tool, for instance
  // "valgrind -q --error-exitcode=99".
  const char* wrapper = std::getenv("EGIB_TEST_WRAPPER");
  // EGIB_TEST_BINARY runs another build of the program instead (the
  // Windows .exe, with EGIB_TEST_WRAPPER=wine).
  const char* binary = std::getenv("EGIB_TEST_BINARY");
  std::string cmd = "cd " + quote(dir.path().string()) + " && " + prefix +
                    " HOME=" + quote(dir.path().string()) + " " +
                    (wrapper != nullptr ? wrapper : "") + " " +
                    quote(binary != nullptr ? binary : EGIB2SHP_BINARY);
  for (const auto& a : args) cmd += " " + quote(a);
  cmd += " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
  const std::string shell = "bash -c " + quote(cmd);
  const int raw = std::system(shell.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

std::string swde_file(const std::string& body, const std::string& header) {
  return header + "\nSO\n" + body + "SX\nSWDEX\n";
}

LayerContent read_layer(const std::string& base) {
  LayerContent c;
  SHPHandle shp = SHPOpen((base + ".shp").c_str(), "rb");
  DBFHandle dbf = DBFOpen((base + ".dbf").c_str(), "rb");
  if (shp != nullptr) {
    int n = 0;
    int type = 0;
    SHPGetInfo(shp, &n, &type, nullptr, nullptr);
    c.shape_type = type;
    c.shape_count = n;
    for (int i = 0; i < n; ++i) {
      SHPObject* o = SHPReadObject(shp, i);
      ShapeRecord r;
      if (o != nullptr) {
        r.part_start.assign(o->panPartStart, o->panPartStart + o->nParts);
        r.x.assign(o->padfX, o->padfX + o->nVertices);
        r.y.assign(o->padfY, o->padfY + o->nVertices);
        SHPDestroyObject(o);
      }
      c.shapes.push_back(std::move(r));
    }
    SHPClose(shp);
  }
  if (dbf != nullptr) {
    c.record_count = DBFGetRecordCount(dbf);
    const int fields = DBFGetFieldCount(dbf);
    for (int f = 0; f < fields; ++f) {
      char name[12] = {};
      int width = 0;
      int decimals = 0;
      DBFGetFieldInfo(dbf, f, name, &width, &decimals);
      c.field_names.emplace_back(name);
      c.field_types.push_back(DBFGetNativeFieldType(dbf, f));
      c.widths.push_back(width);
      c.decimals.push_back(decimals);
    }
    for (int r = 0; r < c.record_count; ++r) {
      const char* tuple = DBFReadTuple(dbf, r);
      std::vector<std::string> row;
      int offset = 1;  // deletion flag
      for (int f = 0; f < fields; ++f) {
        row.emplace_back(tuple + offset, static_cast<size_t>(c.widths[f]));
        offset += c.widths[f];
      }
      c.raw.push_back(std::move(row));
    }
    DBFClose(dbf);
  }
  return c;
}

Conversion convert_swde(const TempDir& dir, const std::string& content,
                        const std::vector<std::string>& codes) {
  write_file(dir.file("in.swd"), content);
  std::vector<std::string> args = {"in.swd"};
  args.insert(args.end(), codes.begin(), codes.end());
  Conversion c;
  c.result = run_converter(dir, args);
  c.parcels = read_layer(dir.file("in_DZE"));
  c.buildings = read_layer(dir.file("in_BUD"));
  return c;
}

}  // namespace egib::test
