#include "layers/gdal_destination.h"

#include <algorithm>
#include <cctype>

#if defined(EGIB_WITH_GDAL)
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#endif

namespace egib {

std::string lower_case(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string gdal_layer_name(LayerKind kind, bool database) {
  const char* const name = kind == LayerKind::kBuilding   ? "BUD"
                           : kind == LayerKind::kPoint    ? "PKT"
                           : kind == LayerKind::kPrecinct ? "OBR"
                                                          : "DZE";
  return database ? lower_case(name) : std::string(name);
}

std::string hide_password(std::string_view connection) {
  std::string out(connection);
  const std::string lower = lower_case(connection);
  size_t at = 0;
  while ((at = lower.find("password", at)) != std::string::npos) {
    size_t v = at + 8;
    while (v < out.size() && out[v] == ' ') ++v;
    if (v >= out.size() || out[v] != '=') {
      at = v;
      continue;
    }
    ++v;
    while (v < out.size() && out[v] == ' ') ++v;
    size_t end = v;
    if (end < out.size() && out[end] == '\'') {
      ++end;
      while (end < out.size() && out[end] != '\'') end += out[end] == '\\' ? 2 : 1;
      end = std::min(end + 1, out.size());
    } else {
      while (end < out.size() && out[end] != ' ') ++end;
    }
    const std::string hidden = "***";
    out.replace(v, end - v, hidden);
    return out.substr(0, v + hidden.size()) + hide_password(out.substr(v + hidden.size()));
  }
  return out;
}

bool gdal_format_is_database(std::string_view format) {
  const std::string f = lower_case(format);
  return f == "postgresql" || f == "mysql" || f == "mssqlspatial" || f == "oci";
}

namespace {

#if defined(EGIB_WITH_GDAL)

// The module and why it did not load: loaded once, on the first use, and
// kept to the end of the process (GDAL's drivers register exit handlers,
// which must find their code still there).
struct LoadedModule {
  const GdalModuleApi* api = nullptr;
  std::string failure;
};

// Where the module is looked for: beside the program (in the build tree),
// then where it is installed, relative to the program's folder.
std::vector<std::string> module_paths() {
  std::vector<std::string> paths;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path dir = self.parent_path();
    paths.push_back((dir / "egib2shp-gdal.so").string());
    paths.push_back(
        (dir / ".." / EGIB_GDAL_MODULE_DIR / "egib2shp-gdal.so").lexically_normal().string());
  }
  return paths;
}

LoadedModule load_module() {
  LoadedModule m;
  for (const std::string& path : module_paths()) {
    if (access(path.c_str(), F_OK) != 0) continue;
    // RTLD_LOCAL: GDAL's symbols stay the module's own.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      m.failure = "cannot load " + path + ": " + (why != nullptr ? why : "unknown reason");
      return m;
    }
    using Entry = const GdalModuleApi* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kGdalModuleEntry));
    const GdalModuleApi* api = entry != nullptr ? entry() : nullptr;
    if (api == nullptr || api->version != kGdalModuleVersion ||
        std::string_view(api->program_version) != EGIB_VERSION) {
      m.failure = path + " is not the GDAL writer of this egib2shp (another version?)";
      return m;
    }
    m.api = api;
    return m;
  }
  m.failure = "the GDAL writer egib2shp-gdal.so is not installed beside egib2shp";
  const std::vector<std::string> paths = module_paths();
  if (!paths.empty()) m.failure += " (looked for " + paths.back() + ")";
  return m;
}

const LoadedModule& module() {
  static const LoadedModule loaded = load_module();
  return loaded;
}

#endif

}  // namespace

bool gdal_built_in() {
  return gdal_unavailable_reason().empty();
}

std::string gdal_unavailable_reason() {
#if defined(EGIB_WITH_GDAL)
  return module().failure;
#else
  // A build without GDAL (the native Windows one) writes the shapefiles only.
  return "this build of egib2shp has no GDAL";
#endif
}

std::vector<GdalFormat> gdal_vector_formats() {
#if defined(EGIB_WITH_GDAL)
  if (module().api != nullptr) return module().api->vector_formats();
#endif
  return {};
}

std::unique_ptr<GdalDestination> open_gdal_destination(const GdalTarget& target,
                                                       const std::vector<LayerKind>& kinds,
                                                       std::string* error) {
#if defined(EGIB_WITH_GDAL)
  if (module().api != nullptr) return module().api->open(target, kinds, error);
#endif
  *error = gdal_unavailable_reason();
  return nullptr;
}

}  // namespace egib
