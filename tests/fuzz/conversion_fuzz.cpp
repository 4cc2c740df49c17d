// Fuzz target: a whole conversion of arbitrary bytes as an SWDE file, on a
// route chosen by the first byte.  The run must end, and when it reports
// success both layers must hold as many shapes as records.
#include <shapefil.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/driver.h"

namespace {

struct Settings {
  const char* in;
  const char* out;
  const char* variant;
};

// No conversion, the polynomial alone, and the heavier routes.
constexpr Settings kRoutes[] = {
    {"0", "0", "0"},  {"2", "2", "1"},   {"2", "18", "1"},  {"18", "2", "2"},
    {"2", "4", "1"},  {"10", "21", "0"}, {"21", "10", "0"}, {"1", "10", "2"},
    {"10", "5", "1"}, {"15", "24", "0"}, {"3", "3", "2"},   {"5", "15", "1"},
};

int layer_counts_agree(const char* base) {
  SHPHandle shp = SHPOpen(base, "rb");
  DBFHandle dbf = DBFOpen(base, "rb");
  int ok = 1;
  if (shp == nullptr || dbf == nullptr) {
    ok = 0;
  } else {
    int shapes = 0;
    SHPGetInfo(shp, &shapes, nullptr, nullptr, nullptr);
    ok = shapes == DBFGetRecordCount(dbf);
  }
  if (shp != nullptr) SHPClose(shp);
  if (dbf != nullptr) DBFClose(dbf);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Work in a directory of our own; the error log goes there too, and the
  // converter's console messages go nowhere.
  char dir[] = "/tmp/egib2shp-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
  setenv("HOME", dir, 1);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Settings& route = kRoutes[data[0] % (sizeof kRoutes / sizeof kRoutes[0])];
  FILE* f = std::fopen("f.swd", "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  std::remove("ZOV_uriri.txt");

  std::string args[] = {"egib2shp", "f.swd", route.in, route.out, route.variant};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(),
                  args[3].data(), args[4].data(), nullptr};
  const int status = egib::run_converter(5, argv);
  if (status == 0 && (!layer_counts_agree("f_DZE") || !layer_counts_agree("f_BUD"))) {
    std::abort();
  }
  return 0;
}
