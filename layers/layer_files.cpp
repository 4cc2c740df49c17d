#include "layers/layer_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "diag/error_log.h"
#include "diag/file_system.h"

namespace egib {

namespace {

constexpr FieldSpec kParcelSchema[] = {
    {"ID", FTDouble, 10, 0},      {"IDD", FTString, 50, 0},     {"KOD_WOJ", FTDouble, 10, 0},
    {"KOD_POW", FTDouble, 10, 0}, {"KOD_GMI", FTString, 10, 0}, {"KOD_OBR", FTString, 50, 0},
    {"OBR", FTString, 10, 0},     {"DNR", FTString, 50, 0},     {"POW", FTDouble, 16, 2},
};

constexpr FieldSpec kBuildingSchema[] = {
    {"ID", FTDouble, 10, 0},      {"IDB", FTString, 50, 0},     {"KOD_WOJ", FTDouble, 10, 0},
    {"KOD_POW", FTDouble, 10, 0}, {"KOD_GMI", FTString, 10, 0}, {"KOD_OBR", FTString, 50, 0},
    {"OBR", FTString, 10, 0},     {"DNR", FTString, 50, 0},     {"POW", FTDouble, 16, 2},
    {"FUNKCJA", FTDouble, 10, 0},
};

constexpr FieldSpec kPointSchema[] = {
    {"ID", FTDouble, 10, 0},     {"IDP", FTString, 50, 0},   {"KLUCZ", FTString, 50, 0},
    {"G5NRP", FTString, 50, 0},  {"G5OZR", FTString, 50, 0}, {"G5STB", FTDouble, 10, 0},
    {"G5ZRD", FTDouble, 10, 0},  {"G5BPP", FTDouble, 10, 0}, {"G5RZG", FTDouble, 10, 0},
    {"G5RKRG", FTString, 50, 0},
};

constexpr FieldSpec kPrecinctSchema[] = {
    {"ID", FTDouble, 10, 0},     {"G5IDR", FTString, 50, 0}, {"G5NRO", FTString, 10, 0},
    {"G5NAZ", FTString, 100, 0}, {"POW", FTDouble, 16, 2},
};

constexpr const char* kLayerExtensions[] = {".shp", ".shx", ".dbf", ".cpg"};

// shapelib's hooks carry no pointer of the caller's (1.5 has no user
// data), so while the library opens a layer's files the layer names, for
// the calling thread alone, the record its files' failures go to; each file
// takes it along when it is opened.  The record itself lives in the layer.
thread_local std::shared_ptr<FailureRecord> t_failures_of_opening;

class OpeningFor {
 public:
  explicit OpeningFor(std::shared_ptr<FailureRecord> failures) {
    t_failures_of_opening = std::move(failures);
  }
  ~OpeningFor() { t_failures_of_opening.reset(); }
  OpeningFor(const OpeningFor&) = delete;
  OpeningFor& operator=(const OpeningFor&) = delete;
};

// shapelib writes through these hooks: a file of our own with a large
// write-behind buffer.  The library positions before every record (and
// rewrites the dBase end-of-file mark after each one); here such a seek
// only moves a number, where a stdio stream would flush and call the
// kernel each time.  Every short write or failed close (disk full,
// file-size limit, I/O error) is noticed and named instead of being lost
// inside the library.
class LayerFile {
 public:
  LayerFile(std::FILE* f, std::string name, std::shared_ptr<FailureRecord> failures)
      : file_(f), name_(std::move(name)), failures_(std::move(failures)) {
    buffer_.reserve(kBufferSize);
    // 64-bit positions throughout: a layer may pass 2 GiB.
    seek_file(file_, 0, SEEK_END);
    const int64_t size = tell_file(file_);
    size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
    seek_file(file_, 0, SEEK_SET);
  }
  const std::string& name() const { return name_; }
  // The first failure of the layer's files is kept (disk full, I/O error).
  void note_failure(const std::string& message) const {
    if (failures_) failures_->note(message);
  }

  size_t write(const void* p, size_t bytes) {
    if (bytes >= kDirectBytes) {
      // A block of records (hundreds of kilobytes) goes to the file as it
      // is: copied into the buffer first, every byte was copied twice.
      if (!flush_buffer() || seek_file(file_, static_cast<int64_t>(pos_), SEEK_SET) != 0) {
        return 0;
      }
      const size_t written = std::fwrite(p, 1, bytes, file_);
      pos_ += written;
      size_ = std::max(size_, pos_);
      return written;
    }
    const uint64_t buffer_end = start_ + buffer_.size();
    if (buffer_.empty() || pos_ < start_ || pos_ > buffer_end ||
        pos_ + bytes > start_ + kBufferSize) {
      if (!flush_buffer()) return 0;
      start_ = pos_;
    }
    const auto at = static_cast<size_t>(pos_ - start_);
    if (at + bytes > buffer_.size()) buffer_.resize(at + bytes);
    std::memcpy(buffer_.data() + at, p, bytes);
    pos_ += bytes;
    size_ = std::max(size_, pos_);
    return bytes;
  }
  size_t read(void* p, size_t bytes) {
    if (!flush_buffer() || seek_file(file_, static_cast<int64_t>(pos_), SEEK_SET) != 0) {
      // The library goes on with what it asked for (and writes it back):
      // after a failed write that is zeros, never undefined bytes.
      std::memset(p, 0, bytes);
      return 0;
    }
    const size_t got = std::fread(p, 1, bytes, file_);
    pos_ += got;
    return got;
  }
  int seek(int64_t offset, int whence) {
    int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<int64_t>(pos_);
    if (whence == SEEK_END) base = static_cast<int64_t>(size_);
    if (base + offset < 0) return -1;
    pos_ = static_cast<uint64_t>(base + offset);
    return 0;
  }
  uint64_t tell() const { return pos_; }
  bool flush() { return flush_buffer() && std::fflush(file_) == 0; }
  bool close() {
    const bool flushed = flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed && closed;
  }

 private:
  static constexpr size_t kBufferSize = size_t{1} << 20;
  static constexpr size_t kDirectBytes = size_t{64} << 10;

  bool flush_buffer() {
    if (buffer_.empty()) return true;
    const bool ok = seek_file(file_, static_cast<int64_t>(start_), SEEK_SET) == 0 &&
                    std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    return ok;
  }

  std::FILE* file_;
  std::string name_;
  std::shared_ptr<FailureRecord> failures_;
  std::vector<char> buffer_;
  uint64_t start_ = 0;  // file offset of buffer_[0]
  uint64_t pos_ = 0;    // where the library reads or writes next
  uint64_t size_ = 0;
};

LayerFile* as_file(SAFile f) {
  return reinterpret_cast<LayerFile*>(f);
}

void note_failure_of(const LayerFile& f) {
  f.note_failure("cannot write " + f.name() + ": " + std::strerror(errno));
}

SAFile hook_open(const char* filename, const char* access) {
  FilePtr f = open_file(filename, access);
  if (!f) return nullptr;
  // stdio's own buffer is not needed behind ours.
  std::setvbuf(f.get(), nullptr, _IONBF, 0);
  // The library holds the file from here until it closes it (hook_close
  // takes it back).
  return reinterpret_cast<SAFile>(
      std::make_unique<LayerFile>(f.release(), filename, t_failures_of_opening).release());
}

SAOffset hook_read(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  if (size == 0) return 0;
  return as_file(file)->read(p, size * nmemb) / size;
}

SAOffset hook_write(const void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  if (size == 0) return 0;
  const SAOffset written = as_file(file)->write(p, size * nmemb) / size;
  if (written != nmemb) note_failure_of(*as_file(file));
  return written;
}

SAOffset hook_seek(SAFile file, SAOffset offset, int whence) {
  return static_cast<SAOffset>(as_file(file)->seek(static_cast<int64_t>(offset), whence));
}

SAOffset hook_tell(SAFile file) {
  return static_cast<SAOffset>(as_file(file)->tell());
}

int hook_flush(SAFile file) {
  if (as_file(file)->flush()) return 0;
  note_failure_of(*as_file(file));
  return -1;
}

int hook_close(SAFile file) {
  const std::unique_ptr<LayerFile> f(as_file(file));
  const bool ok = f->close();
  if (!ok) note_failure_of(*f);
  return ok ? 0 : -1;
}

int hook_remove(const char* filename) {
  return remove_file(filename) ? 0 : -1;
}

void hook_error(const char* message) {
  std::fprintf(stderr, "shapelib: %s\n", message);
}

double hook_atof(const char* s) {
  return std::strtod(s, nullptr);
}

// shapelib 1.6 passes a user pointer to FOpen and Remove and a const
// buffer to FWrite; 1.5 does not.  Both are served by the same hooks.
template <typename Hooks>
void install_hooks(Hooks& h) {
  if constexpr (requires { h.pvUserData; }) {
    h.FOpen = [](const char* name, const char* access, void*) { return hook_open(name, access); };
    h.FWrite = hook_write;
    h.Remove = [](const char* name, void*) { return hook_remove(name); };
    h.pvUserData = nullptr;
  } else {
    h.FOpen = hook_open;
    h.FWrite = [](void* p, SAOffset size, SAOffset nmemb, SAFile file) {
      return hook_write(p, size, nmemb, file);
    };
    h.Remove = hook_remove;
  }
  h.FRead = hook_read;
  h.FSeek = hook_seek;
  h.FTell = hook_tell;
  h.FFlush = hook_flush;
  h.FClose = hook_close;
  h.Error = hook_error;
  h.Atof = hook_atof;
}

SAHooks* layer_hooks() {
  static SAHooks hooks = [] {
    SAHooks h{};
    SASetupDefaultHooks(&h);
    install_hooks(h);
    return h;
  }();
  return &hooks;
}

}  // namespace

std::basic_string_view<FieldSpec> layer_schema(LayerKind kind) {
  switch (kind) {
    case LayerKind::kParcel:
      return {kParcelSchema, std::size(kParcelSchema)};
    case LayerKind::kBuilding:
      return {kBuildingSchema, std::size(kBuildingSchema)};
    case LayerKind::kPoint:
      return {kPointSchema, std::size(kPointSchema)};
    case LayerKind::kPrecinct:
      return {kPrecinctSchema, std::size(kPrecinctSchema)};
  }
  return {};
}

int layer_shape_type(LayerKind kind) {
  return kind == LayerKind::kPoint ? SHPT_POINT : SHPT_POLYGON;
}

Layer::~Layer() {
  close();
  if (!committed_ && !work_base_.empty()) discard();
}

DbfDate dbf_date_of_run() {
  std::time_t when = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (errno == 0 && *end == '\0' && seconds >= 0) when = static_cast<std::time_t>(seconds);
  }
  // The civil date in UTC, the same on every platform (no time-zone or
  // C-library calls: Windows has no gmtime_r).
  const std::chrono::year_month_day utc{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::from_time_t(when))};
  // One byte holds the year: 1900 to 2155.
  return {std::clamp(static_cast<int>(utc.year()) - 1900, 0, 255),
          static_cast<int>(static_cast<unsigned>(utc.month())),
          static_cast<int>(static_cast<unsigned>(utc.day()))};
}

bool Layer::create(const std::string& final_base, LayerKind kind, std::string* error,
                   const DbfDate& date) {
  return create_with_fields(final_base, layer_shape_type(kind), layer_schema(kind), error, date);
}

bool Layer::create_with_fields(const std::string& final_base, int shape_type,
                               std::basic_string_view<FieldSpec> fields, std::string* error,
                               const DbfDate& date) {
  final_base_ = final_base;
  work_base_ = final_base + ".tmp";
  has_prj_ = false;
  committed_ = false;
  write_failed_ = false;
  table_only_ = shape_type == SHPT_NULL;
  failures_ = std::make_shared<FailureRecord>();
  const OpeningFor opening(failures_);
  // The extension is always given, so shapelib never mistakes a '.' in the
  // file name for one.
  if (!table_only_) {
    const std::string shp_name = work_base_ + ".shp";
    shp_.reset(SHPCreateLL(shp_name.c_str(), shape_type, layer_hooks()));
    if (!shp_) {
      *error = "cannot create " + final_base_ + ".shp: " + std::strerror(errno);
      return false;
    }
  }
  const std::string dbf_name = work_base_ + ".dbf";
  dbf_.reset(DBFCreateLL(dbf_name.c_str(), "1250", layer_hooks()));
  if (!dbf_) {
    *error = "cannot create " + final_base_ + ".dbf: " + std::strerror(errno);
    return false;
  }
  // The library writes the header (on the first record, or on closing an
  // empty table) from these.
  dbf_->iLanguageDriver = kDbfLanguageDriver1250;
  DBFSetLastModifiedDate(dbf_.get(), date.years_since_1900, date.month, date.day);
  return add_fields(fields, error);
}

std::vector<const char*> Layer::extensions() const {
  std::vector<const char*> e;
  for (const char* ext : kLayerExtensions) {
    if (!table_only_ || (std::strcmp(ext, ".shp") != 0 && std::strcmp(ext, ".shx") != 0)) {
      e.push_back(ext);
    }
  }
  return e;
}

bool Layer::add_fields(std::basic_string_view<FieldSpec> fields, std::string* error) {
  for (const FieldSpec& f : fields) {
    if (DBFAddField(dbf_.get(), f.name, f.type, f.width, f.decimals) < 0) {
      *error = "cannot add field " + std::string(f.name) + " to " + final_base_ + ".dbf";
      return false;
    }
  }
  return true;
}

bool Layer::write_side_file(const char* extension, std::string_view content, std::string* error) {
  const std::string name = work_base_ + extension;
  FilePtr f(open_file(name, "wb"));
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
  for (const char* ext : extensions()) files.push_back(work_base_ + ext);
  files.push_back(work_base_ + ".prj");
  return files;
}

std::vector<std::string> Layer::final_files() const {
  std::vector<std::string> files;
  if (!committed_) return files;
  for (const char* ext : extensions()) files.push_back(final_base_ + ext);
  if (has_prj_) files.push_back(final_base_ + ".prj");
  return files;
}

void Layer::close() {
  shp_.reset();
  dbf_.reset();
}

bool Layer::commit(std::string* error) {
  close();
  std::vector<const char*> extensions = this->extensions();
  if (has_prj_) {
    extensions.push_back(".prj");
  } else {
    // A .prj left by an earlier run would describe another system.
    remove_file(final_base_ + ".prj");
  }
  for (const char* ext : extensions) {
    const std::string from = work_base_ + ext;
    const std::string to = final_base_ + ext;
    if (!replace_file(from, to)) {
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
  for (const char* ext : extensions()) remove_file(work_base_ + ext);
  remove_file(work_base_ + ".prj");
}

bool append_dbase_records(DBFHandle dbf, std::string_view records) {
  if (records.empty()) return true;
  const auto length = static_cast<size_t>(dbf->nRecordLength);
  if (length == 0 || records.size() % length != 0) return false;
  const size_t count = records.size() / length;
  // The header first, as for the library's first record, and the record
  // it may hold changed (a cell written into it) back where it was.
  if (dbf->bNoHeader || dbf->bCurrentRecordModified) DBFUpdateHeader(dbf);
  const SAOffset at = static_cast<SAOffset>(dbf->nHeaderLength) +
                      static_cast<SAOffset>(dbf->nRecords) * static_cast<SAOffset>(length);
  char end_of_file = 0x1A;  // after the last record, as the library leaves it
  // (shapelib 1.5 takes the buffer as not const; it only reads it)
  char* const bytes = const_cast<char*>(records.data());
  if (dbf->sHooks.FSeek(dbf->fp, at, SEEK_SET) != 0 ||
      dbf->sHooks.FWrite(bytes, length, count, dbf->fp) != count ||
      (dbf->bWriteEndOfFileChar && dbf->sHooks.FWrite(&end_of_file, 1, 1, dbf->fp) != 1)) {
    return false;
  }
  dbf->nRecords += static_cast<int>(count);
  dbf->bUpdated = 1;  // the record count goes into the header on closing
  return true;
}

}  // namespace egib
