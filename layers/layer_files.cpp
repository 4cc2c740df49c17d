#include "layers/layer_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "diag/error_log.h"

namespace egib {

namespace {

constexpr FieldSpec kParcelSchema[] = {
    {"ID", FTDouble, 10, 0},      {"IDD", FTString, 50, 0},     {"KOD_WOJ", FTDouble, 10, 0},
    {"KOD_POW", FTDouble, 10, 0}, {"KOD_GMI", FTString, 10, 0}, {"KOD_OBR", FTString, 50, 0},
    {"OBR", FTString, 10, 0},     {"DNR", FTString, 50, 0},     {"POW", FTDouble, 10, 2},
};

constexpr FieldSpec kBuildingSchema[] = {
    {"ID", FTDouble, 10, 0},      {"IDB", FTString, 50, 0},     {"KOD_WOJ", FTDouble, 10, 0},
    {"KOD_POW", FTDouble, 10, 0}, {"KOD_GMI", FTString, 10, 0}, {"KOD_OBR", FTString, 50, 0},
    {"OBR", FTString, 10, 0},     {"DNR", FTString, 50, 0},     {"POW", FTDouble, 10, 2},
    {"FUNKCJA", FTDouble, 10, 0},
};

constexpr const char* kLayerExtensions[] = {".shp", ".shx", ".dbf", ".cpg"};

std::string g_io_failure;

// shapelib writes through these hooks, so a short write or a failed close
// (disk full, file-size limit, I/O error) is noticed and named instead of
// being lost inside the library.
struct OpenFile {
  std::FILE* file;
  std::string name;
};
std::vector<OpenFile> g_open_files;

const std::string& name_of(SAFile f) {
  static const std::string unknown = "(layer file)";
  for (const auto& o : g_open_files) {
    if (reinterpret_cast<SAFile>(o.file) == f) return o.name;
  }
  return unknown;
}

SAFile hook_open(const char* filename, const char* access) {
  std::FILE* f = std::fopen(filename, access);
  if (f == nullptr) return nullptr;
  g_open_files.push_back({f, filename});
  return reinterpret_cast<SAFile>(f);
}

SAOffset hook_read(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  return std::fread(p, size, nmemb, reinterpret_cast<std::FILE*>(file));
}

SAOffset hook_write(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  const SAOffset written = std::fwrite(p, size, nmemb, reinterpret_cast<std::FILE*>(file));
  if (written != nmemb) {
    note_io_failure("cannot write " + name_of(file) + ": " + std::strerror(errno));
  }
  return written;
}

SAOffset hook_seek(SAFile file, SAOffset offset, int whence) {
  return static_cast<SAOffset>(
      std::fseek(reinterpret_cast<std::FILE*>(file), static_cast<long>(offset), whence));
}

SAOffset hook_tell(SAFile file) {
  return static_cast<SAOffset>(std::ftell(reinterpret_cast<std::FILE*>(file)));
}

int hook_flush(SAFile file) {
  const int r = std::fflush(reinterpret_cast<std::FILE*>(file));
  if (r != 0) note_io_failure("cannot write " + name_of(file) + ": " + std::strerror(errno));
  return r;
}

int hook_close(SAFile file) {
  auto* f = reinterpret_cast<std::FILE*>(file);
  std::string name = name_of(file);
  for (auto it = g_open_files.begin(); it != g_open_files.end(); ++it) {
    if (it->file == f) {
      g_open_files.erase(it);
      break;
    }
  }
  const int r = std::fclose(f);
  if (r != 0) note_io_failure("cannot write " + name + ": " + std::strerror(errno));
  return r;
}

int hook_remove(const char* filename) {
  return std::remove(filename);
}

void hook_error(const char* message) {
  std::fprintf(stderr, "shapelib: %s\n", message);
}

double hook_atof(const char* s) {
  return std::strtod(s, nullptr);
}

SAHooks* layer_hooks() {
  static SAHooks hooks = [] {
    SAHooks h{};
    SASetupDefaultHooks(&h);
    h.FOpen = hook_open;
    h.FRead = hook_read;
    h.FWrite = hook_write;
    h.FSeek = hook_seek;
    h.FTell = hook_tell;
    h.FFlush = hook_flush;
    h.FClose = hook_close;
    h.Remove = hook_remove;
    h.Error = hook_error;
    h.Atof = hook_atof;
    return h;
  }();
  return &hooks;
}

}  // namespace

const std::string& io_failure() {
  return g_io_failure;
}

void clear_io_failure() {
  g_io_failure.clear();
}

void note_io_failure(const std::string& message) {
  if (g_io_failure.empty()) g_io_failure = message;
}

std::basic_string_view<FieldSpec> layer_schema(LayerKind kind) {
  if (kind == LayerKind::kParcel) {
    return {kParcelSchema, std::size(kParcelSchema)};
  }
  return {kBuildingSchema, std::size(kBuildingSchema)};
}

Layer::~Layer() {
  close();
  if (!committed_ && !work_base_.empty()) discard();
}

bool Layer::create(const std::string& final_base, LayerKind kind, std::string* error) {
  final_base_ = final_base;
  work_base_ = final_base + ".tmp";
  // The extension is always given, so shapelib never mistakes a '.' in the
  // file name for one.
  const std::string shp_name = work_base_ + ".shp";
  const std::string dbf_name = work_base_ + ".dbf";
  shp_.reset(SHPCreateLL(shp_name.c_str(), SHPT_POLYGON, layer_hooks()));
  if (!shp_) {
    *error = "cannot create " + final_base_ + ".shp: " + std::strerror(errno);
    return false;
  }
  dbf_.reset(DBFCreateLL(dbf_name.c_str(), "1250", layer_hooks()));
  if (!dbf_) {
    *error = "cannot create " + final_base_ + ".dbf: " + std::strerror(errno);
    return false;
  }
  for (const FieldSpec& f : layer_schema(kind)) {
    if (DBFAddField(dbf_.get(), f.name, f.type, f.width, f.decimals) < 0) {
      *error = "cannot add field " + std::string(f.name) + " to " + final_base_ + ".dbf";
      return false;
    }
  }
  return true;
}

bool Layer::write_side_file(const char* extension, std::string_view content, std::string* error) {
  const std::string name = work_base_ + extension;
  FilePtr f(std::fopen(name.c_str(), "wb"));
  bool ok = f && std::fwrite(content.data(), 1, content.size(), f.get()) == content.size();
  if (f) ok = (std::fclose(f.release()) == 0) && ok;
  if (!ok) {
    *error = "cannot write " + final_base_ + extension + ": " + std::strerror(errno);
    return false;
  }
  has_prj_ = true;
  return true;
}

std::vector<std::string> Layer::work_files() const {
  std::vector<std::string> files;
  for (const char* ext : kLayerExtensions) files.push_back(work_base_ + ext);
  files.push_back(work_base_ + ".prj");
  return files;
}

void Layer::close() {
  shp_.reset();
  dbf_.reset();
}

bool Layer::commit(std::string* error) {
  close();
  std::vector<const char*> extensions(std::begin(kLayerExtensions), std::end(kLayerExtensions));
  if (has_prj_) {
    extensions.push_back(".prj");
  } else {
    // A .prj left by an earlier run would describe another system.
    std::remove((final_base_ + ".prj").c_str());
  }
  for (const char* ext : extensions) {
    const std::string from = work_base_ + ext;
    const std::string to = final_base_ + ext;
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      *error = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
      return false;
    }
  }
  committed_ = true;
  return true;
}

void Layer::discard() {
  close();
  if (work_base_.empty()) return;
  for (const char* ext : kLayerExtensions) std::remove((work_base_ + ext).c_str());
  std::remove((work_base_ + ".prj").c_str());
}

}  // namespace egib
