#include "layers/gdal_output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "geodesy/grid_convert.h"
#include "layers/point_layer.h"

// GDAL's headers come after the program's own: the module alone includes them.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_api.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

namespace egib {

namespace {

constexpr LayerKind kAllKinds[] = {LayerKind::kParcel, LayerKind::kBuilding, LayerKind::kPoint,
                                   LayerKind::kPrecinct};

struct DatasetCloser {
  void operator()(GDALDataset* ds) const noexcept { GDALClose(ds); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

struct FeatureDestroyer {
  void operator()(OGRFeature* f) const noexcept { OGRFeature::DestroyFeature(f); }
};
using FeaturePtr = std::unique_ptr<OGRFeature, FeatureDestroyer>;

struct StringListDestroyer {
  void operator()(char** list) const noexcept { CSLDestroy(list); }
};
using StringList = std::unique_ptr<char*, StringListDestroyer>;

StringList add_option(StringList list, const char* name, const std::string& value) {
  return StringList(CSLSetNameValue(list.release(), name, value.c_str()));
}

// GDAL's messages are collected, not printed: the run says in one line
// what went wrong, with the first failure GDAL gave since the last
// reset(), which names the cause (a later one is often only "the
// transaction is aborted").  Pushed for the output's lifetime, on the
// thread that writes.
class QuietErrors {
 public:
  QuietErrors() { CPLPushErrorHandlerEx(&QuietErrors::handle, this); }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

  void reset() {
    CPLErrorReset();
    first_.clear();
  }
  bool failed() const { return !first_.empty() || CPLGetLastErrorType() >= CE_Failure; }
  // The first failure on one line (a database's reason follows on lines
  // of its own), or what_else when GDAL said nothing.
  std::string message(const std::string& what_else) const {
    const std::string raw = first_.empty() ? std::string(CPLGetLastErrorMsg()) : first_;
    std::string m;
    bool space = false;
    for (const char c : raw) {
      if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
        space = !m.empty();
        continue;
      }
      if (space) m += ' ';
      space = false;
      m += c;
    }
    return m.empty() ? what_else : m;
  }

 private:
  static void CPL_STDCALL handle(CPLErr level, CPLErrorNum, const char* text) {
    auto* self = static_cast<QuietErrors*>(CPLGetErrorHandlerUserData());
    if (self != nullptr && level >= CE_Failure && self->first_.empty() && text != nullptr) {
      self->first_ = text;
    }
  }
  std::string first_;
};

void register_gdal() {
  // Registering twice is harmless; the driver manager keeps one list.
  if (GetGDALDriverManager()->GetDriverCount() == 0) GDALAllRegister();
}

// A vector format whose datasets this program can create and fill with
// layers of its own.
bool can_create_layers(GDALDriver* driver) {
  return driver->GetMetadataItem(GDAL_DCAP_VECTOR) != nullptr &&
         driver->GetMetadataItem(GDAL_DCAP_CREATE) != nullptr &&
         driver->GetMetadataItem(GDAL_DCAP_CREATE_LAYER) != nullptr;
}

std::string file_extension(GDALDriver* driver) {
  if (const char* e = driver->GetMetadataItem(GDAL_DMD_EXTENSION); e != nullptr && *e != '\0') {
    return e;
  }
  if (const char* list = driver->GetMetadataItem(GDAL_DMD_EXTENSIONS);
      list != nullptr && *list != '\0') {
    const std::string_view all(list);
    return std::string(all.substr(0, all.find(' ')));
  }
  return lower_case(driver->GetDescription());
}

// A column of a table: its name, its type, and where its value comes from.
struct FixedColumn {
  const char* name;
  OGRFieldType type;
};

constexpr FixedColumn kParcelColumns[] = {
    {"ID", OFTInteger},     {"IDD", OFTString},     {"KOD_WOJ", OFTString}, {"KOD_POW", OFTString},
    {"KOD_GMI", OFTString}, {"KOD_OBR", OFTString}, {"OBR", OFTString},     {"DNR", OFTString},
    {"POW", OFTReal},       {"ZRODLO", OFTString},
};
constexpr FixedColumn kBuildingColumns[] = {
    {"ID", OFTInteger},      {"IDB", OFTString},     {"KOD_WOJ", OFTString}, {"KOD_POW", OFTString},
    {"KOD_GMI", OFTString},  {"KOD_OBR", OFTString}, {"OBR", OFTString},     {"POW", OFTReal},
    {"FUNKCJA", OFTInteger}, {"ZRODLO", OFTString},
};
constexpr FixedColumn kPointColumns[] = {
    {"ID", OFTInteger},    {"IDP", OFTString},    {"KLUCZ", OFTString},  {"G5NRP", OFTString},
    {"G5OZR", OFTString},  {"G5STB", OFTInteger}, {"G5ZRD", OFTInteger}, {"G5BPP", OFTInteger},
    {"G5RZG", OFTInteger}, {"G5RKRG", OFTString}, {"ZRODLO", OFTString},
};
constexpr FixedColumn kPrecinctColumns[] = {
    {"ID", OFTInteger},   {"G5IDR", OFTString}, {"G5NRO", OFTString},
    {"G5NAZ", OFTString}, {"POW", OFTReal},     {"ZRODLO", OFTString},
};

std::basic_string_view<FixedColumn> columns_of(LayerKind kind) {
  switch (kind) {
    case LayerKind::kParcel:
      return {kParcelColumns, std::size(kParcelColumns)};
    case LayerKind::kBuilding:
      return {kBuildingColumns, std::size(kBuildingColumns)};
    case LayerKind::kPoint:
      return {kPointColumns, std::size(kPointColumns)};
    case LayerKind::kPrecinct:
      return {kPrecinctColumns, std::size(kPrecinctColumns)};
  }
  return {};
}

// Characters first .. last (counted from 1) of an identifier, shorter when
// it is, empty when it ends before first: the TERYT codes and the precinct
// number are cut from it as in the shapefiles' tables.
std::string_view slice(std::string_view ident, size_t first, size_t last = std::string::npos) {
  if (ident.size() < first) return {};
  const size_t end = last == std::string::npos ? ident.size() : std::min(ident.size(), last);
  return ident.substr(first - 1, end - (first - 1));
}

// The leading integer of a text as atol reads it (blanks, a sign, digits).
long leading_integer(std::string_view text) {
  const std::string s(text);
  return std::strtol(s.c_str(), nullptr, 10);
}

// The outline as GDAL's geometry: the rings of the shapefile record, each
// outer ring with the holes it holds, as a multipolygon.  The rings are
// grouped as GDAL's shapefile reader groups them (clockwise rings outer,
// counter-clockwise ones holes of the outer ring around them), so a
// GeoPackage or PostGIS table holds exactly what a GIS reads from the
// shapefile of the same run.
std::unique_ptr<OGRMultiPolygon> rings_geometry(const double* x, const double* y, int vertices,
                                                const int* part_start, int parts) {
  std::vector<std::unique_ptr<OGRPolygon>> polygons;
  for (int p = 0; p < std::max(parts, 1); ++p) {
    const int start = parts == 0 ? 0 : part_start[p];
    const int end = p + 1 < parts ? part_start[p + 1] : vertices;
    if (end <= start) continue;
    auto ring = std::make_unique<OGRLinearRing>();
    ring->setPoints(end - start, x + start, y + start);
    auto polygon = std::make_unique<OGRPolygon>();
    polygon->addRingDirectly(ring.release());
    polygons.push_back(std::move(polygon));
  }
  auto multi = std::make_unique<OGRMultiPolygon>();
  if (polygons.size() <= 1) {
    if (!polygons.empty()) multi->addGeometryDirectly(polygons.front().release());
    return multi;
  }
  std::vector<OGRGeometry*> handed;
  for (auto& p : polygons) handed.push_back(p.release());
  int valid = FALSE;
  const char* options[] = {"METHOD=ONLY_CCW", nullptr};
  std::unique_ptr<OGRGeometry> organized(OGRGeometryFactory::organizePolygons(
      handed.data(), static_cast<int>(handed.size()), &valid, options));
  std::unique_ptr<OGRGeometry> as_multi(
      OGRGeometryFactory::forceToMultiPolygon(organized.release()));
  if (as_multi && wkbFlatten(as_multi->getGeometryType()) == wkbMultiPolygon) {
    return std::unique_ptr<OGRMultiPolygon>(as_multi.release()->toMultiPolygon());
  }
  return multi;
}

std::unique_ptr<OGRMultiPolygon> outline_geometry(const ObjectBatch& b, const AssembledObject& o) {
  return rings_geometry(
      &b.x[o.vertex_begin], &b.y[o.vertex_begin], static_cast<int>(o.vertex_count),
      o.part_count == 0 ? nullptr : &b.part_start[o.part_begin], static_cast<int>(o.part_count));
}

// The shape of a register row in the layer's geometry: polygons as above,
// lines one line string a part, a point its first vertex; null without
// vertices.
std::unique_ptr<OGRGeometry> register_geometry(GeometryKind kind, const ShapeValue& shape) {
  if (shape.x.empty()) return nullptr;
  const int n = static_cast<int>(shape.x.size());
  const int parts = static_cast<int>(shape.part_start.size());
  switch (kind) {
    case GeometryKind::kPolygon:
      return rings_geometry(shape.x.data(), shape.y.data(), n, shape.part_start.data(), parts);
    case GeometryKind::kLine: {
      auto multi = std::make_unique<OGRMultiLineString>();
      for (int p = 0; p < std::max(parts, 1); ++p) {
        const int start = parts == 0 ? 0 : shape.part_start[static_cast<size_t>(p)];
        const int end = p + 1 < parts ? shape.part_start[static_cast<size_t>(p) + 1] : n;
        if (end <= start) continue;
        auto line = std::make_unique<OGRLineString>();
        line->setPoints(end - start, shape.x.data() + start, shape.y.data() + start);
        multi->addGeometryDirectly(line.release());
      }
      return multi;
    }
    case GeometryKind::kPoint:
      return std::make_unique<OGRPoint>(shape.x[0], shape.y[0]);
    case GeometryKind::kNone:
      break;
  }
  return nullptr;
}

OGRwkbGeometryType ogr_type_of(GeometryKind kind) {
  switch (kind) {
    case GeometryKind::kPolygon:
      return wkbMultiPolygon;
    case GeometryKind::kLine:
      return wkbMultiLineString;
    case GeometryKind::kPoint:
      return wkbPoint;
    case GeometryKind::kNone:
      break;
  }
  return wkbNone;
}

OGRFieldType ogr_type_of(ColumnType type) {
  switch (type) {
    case ColumnType::kInteger:
      return OFTInteger64;
    case ColumnType::kDecimal:
      return OFTReal;
    case ColumnType::kDate:
      return OFTDate;
    case ColumnType::kText:
      break;
  }
  return OFTString;
}

}  // namespace

std::vector<GdalFormat> library_vector_formats() {
  register_gdal();
  std::vector<GdalFormat> formats;
  GDALDriverManager* manager = GetGDALDriverManager();
  for (int i = 0; i < manager->GetDriverCount(); ++i) {
    GDALDriver* d = manager->GetDriver(i);
    if (!can_create_layers(d)) continue;
    const char* long_name = d->GetMetadataItem(GDAL_DMD_LONGNAME);
    formats.push_back({d->GetDescription(), long_name != nullptr ? long_name : ""});
  }
  std::sort(formats.begin(), formats.end(),
            [](const GdalFormat& a, const GdalFormat& b) { return a.name < b.name; });
  return formats;
}

struct GdalOutput::Impl {
  struct Slot {
    LayerKind kind;
    std::string name;
    size_t dataset = 0;
    OGRLayer* layer = nullptr;
    std::vector<int> field;  // column -> field index in the layer
    int next_id = 1;
    IdentifierCounter ids;
  };

  GdalTarget target;
  bool database = false;
  bool folder = false;  // one file per layer in a folder
  std::string final_path;
  std::string work_path;
  std::string ext;
  QuietErrors quiet;
  std::vector<DatasetPtr> datasets;
  std::vector<bool> in_transaction;
  std::vector<Slot> slots;
  OGRSpatialReference srs;
  bool has_srs = false;
  LayerCounts counts;
  std::string failure;
  std::string text;  // one converted text
  // GDAL 3.6's FlatGeobuf writer skips, without a word, every feature that
  // has no geometry (a point without coordinates, an outline without a
  // vertex): such features are counted per layer here and named at the end
  // instead of being lost unnoticed.
  bool drops_empty_geometry = false;
  std::vector<std::pair<std::string, int64_t>> dropped;

  // False (and counted) for a feature the format would drop.
  bool holds(const std::string& layer, const OGRFeature& f) {
    if (!drops_empty_geometry) return true;
    const OGRGeometry* g = f.GetGeometryRef();
    if (g != nullptr && !g->IsEmpty()) return true;
    auto at = std::find_if(dropped.begin(), dropped.end(),
                           [&](const auto& d) { return d.first == layer; });
    if (at == dropped.end()) at = dropped.insert(dropped.end(), {layer, 0});
    ++at->second;
    return false;
  }

  Slot* slot(LayerKind kind) {
    for (Slot& s : slots) {
      if (s.kind == kind) return &s;
    }
    return nullptr;
  }
  // The column's field index (-1 when the layer dropped it).
  void set_text(OGRFeature& f, const Slot& s, size_t column, std::string_view value) {
    const int i = s.field[column];
    if (i < 0 || value.empty()) return;
    text.clear();
    target.to_utf8(value, text);
    f.SetField(i, text.c_str());
  }
  void set_integer(OGRFeature& f, const Slot& s, size_t column, long value) {
    if (s.field[column] >= 0) f.SetField(s.field[column], static_cast<GIntBig>(value));
  }
  void set_real(OGRFeature& f, const Slot& s, size_t column, double value) {
    if (s.field[column] >= 0) f.SetField(s.field[column], value);
  }
  void set_source(OGRFeature& f, const Slot& s) {
    const size_t last = columns_of(s.kind).size() - 1;
    if (s.field[last] >= 0) f.SetField(s.field[last], target.source.c_str());
  }
  // False when the write failed; *held false when the format drops it.
  bool create_feature(Slot& s, OGRFeature& f, bool* held) {
    if (!failure.empty()) return false;
    *held = holds(s.name, f);
    if (!*held) return true;
    if (s.layer->CreateFeature(&f) != OGRERR_NONE) {
      failure = "cannot write a feature of " + s.name + " into " + destination() + ": " +
                quiet.message("the driver gave no reason");
      return false;
    }
    return true;
  }
  std::string destination() const {
    return database ? hide_password(target.connection) : final_path;
  }

  // A table of the whole register.
  struct Table {
    std::string name;
    GeometryKind geometry = GeometryKind::kNone;
    OGRLayer* layer = nullptr;
    std::vector<ColumnType> types;  // of the cells
    std::vector<int> field;         // cell -> field index
    int id_field = -1;
    int source_field = -1;
    int next_id = 1;
  };
  std::vector<Table> tables;

  // The dataset a new layer goes into: the one file or database, or a new
  // file in the folder.
  GDALDataset* dataset_for(const std::string& name, bool attributes_only, std::string* error);
  // A layer of the register as --overwrite and --append ask in a database.
  OGRLayer* register_layer(GDALDataset& ds, const std::string& name, OGRwkbGeometryType type,
                           bool* existed, std::string* error);
  void set_cell(OGRFeature& f, int field, ColumnType type, std::string_view cell);
  bool update_database_rows(Slot& s, const std::vector<Column>& columns,
                            const std::vector<std::vector<std::string>>& rows, std::string* error);
  bool rewrite_with_columns(Slot& s, const std::vector<Column>& columns,
                            const std::vector<std::vector<std::string>>& rows, std::string* error);

  bool open(const std::vector<LayerKind>& kinds, std::string* error);
  bool open_database(GDALDriver* driver, std::string* error);
  bool create_layer(Slot& s, GDALDataset& ds, std::string* error);
  bool prepare_tables(std::string* error);
  void write_object(const ObjectBatch& b, const AssembledObject& o);
  void remove_work();
};

bool GdalOutput::Impl::create_layer(Slot& s, GDALDataset& ds, std::string* error) {
  StringList options;
  if (database) {
    options = add_option(std::move(options), "GEOMETRY_NAME", "geom");
    options = add_option(std::move(options), "SPATIAL_INDEX", "GIST");
    if (!target.schema.empty()) options = add_option(std::move(options), "SCHEMA", target.schema);
  } else if (target.format == "GPKG" || target.format == "FlatGeobuf") {
    options = add_option(std::move(options), "SPATIAL_INDEX", "YES");
  }
  const OGRwkbGeometryType type = s.kind == LayerKind::kPoint ? wkbPoint : wkbMultiPolygon;
  s.layer = ds.CreateLayer(s.name.c_str(), has_srs ? &srs : nullptr, type, options.get());
  if (s.layer == nullptr) {
    *error = "cannot create the layer " + s.name + " in " + destination() + ": " +
             quiet.message("the driver gave no reason");
    return false;
  }
  for (const FixedColumn& c : columns_of(s.kind)) {
    OGRFieldDefn field(c.name, c.type);
    if (s.layer->CreateField(&field) != OGRERR_NONE) {
      *error = "cannot add the column " + std::string(c.name) + " to " + s.name + " in " +
               destination() + ": " + quiet.message("the driver gave no reason");
      return false;
    }
  }
  return true;
}

// The columns of a layer by name, as the format keeps them (a database
// folds them to lower case); a column the table lacks (an older table
// appended to) stays empty.
void find_fields(GdalOutput::Impl::Slot& s) {
  s.field.clear();
  OGRFeatureDefn* defn = s.layer->GetLayerDefn();
  for (const FixedColumn& c : columns_of(s.kind)) {
    int i = defn->GetFieldIndex(c.name);
    if (i < 0) i = defn->GetFieldIndex(lower_case(c.name).c_str());
    s.field.push_back(i);
  }
}

bool GdalOutput::Impl::open_database(GDALDriver* driver, std::string* error) {
  (void)driver;
  const char* allowed[] = {target.format.c_str(), nullptr};
  DatasetPtr ds(GDALDataset::Open(target.connection.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                  allowed, nullptr, nullptr));
  if (!ds) {
    *error = "cannot open the database " + hide_password(target.connection) + ": " +
             quiet.message("no database answered");
    return false;
  }
  datasets.push_back(std::move(ds));
  in_transaction.push_back(false);
  return true;
}

namespace {

// The first row of a statement run for its effect (a lock, a check).
bool run_sql(GDALDataset& ds, QuietErrors& quiet, const std::string& sql) {
  quiet.reset();
  OGRLayer* result = ds.ExecuteSQL(sql.c_str(), nullptr, nullptr);
  if (result != nullptr) {
    FeaturePtr row(result->GetNextFeature());
    ds.ReleaseResultSet(result);
  }
  return !quiet.failed();
}

int layer_index(GDALDataset& ds, const std::string& name) {
  for (int i = 0; i < ds.GetLayerCount(); ++i) {
    if (EQUAL(ds.GetLayer(i)->GetName(), name.c_str())) return i;
  }
  return -1;
}

}  // namespace

// In a database: the tables the run writes, as --overwrite and --append
// ask.  Without either an existing table stops the run before anything is
// written.  With --append the missing tables are created in a short
// transaction of their own under a lock, so runs that start at once on an
// empty database create each table once; the rows follow in one
// transaction.  Otherwise tables are replaced and filled in one
// transaction, which a failure rolls back whole.
bool GdalOutput::Impl::prepare_tables(std::string* error) {
  GDALDataset& ds = *datasets.front();
  const auto qualified = [&](const Slot& s) {
    return target.schema.empty() ? s.name : target.schema + "." + s.name;
  };
  if (target.existing == ExistingTables::kError) {
    for (const Slot& s : slots) {
      if (ds.GetLayerByName(qualified(s).c_str()) != nullptr) {
        *error = "the table " + qualified(s) + " exists already in " + destination() +
                 " (--overwrite replaces it, --append adds to it)";
        return false;
      }
    }
  }
  if (ds.StartTransaction() != OGRERR_NONE) {
    *error = "cannot start a transaction in " + destination() + ": " +
             quiet.message("the driver gave no reason");
    return false;
  }
  in_transaction[0] = true;
  if (target.existing == ExistingTables::kAppend) {
    if (!run_sql(ds, quiet, "SELECT pg_advisory_xact_lock(hashtext('egib2shp tables'))")) {
      *error = "cannot lock the tables of " + destination() + ": " + quiet.message("no reason");
      return false;
    }
  }
  for (Slot& s : slots) {
    const std::string name = qualified(s);
    if (OGRLayer* existing = ds.GetLayerByName(name.c_str())) {
      if (target.existing == ExistingTables::kAppend) {
        s.layer = existing;
        find_fields(s);
        continue;
      }
      const int index = layer_index(ds, name);
      quiet.reset();
      if (index < 0 || ds.DeleteLayer(index) != OGRERR_NONE || quiet.failed()) {
        *error = "cannot replace the table " + name + " in " + destination() + ": " +
                 quiet.message("the driver gave no reason");
        return false;
      }
    }
    if (!create_layer(s, ds, error)) return false;
    find_fields(s);
  }
  // The tables are made now, not with their first row, so that a user who
  // may not create them hears it before the file is read.
  quiet.reset();
  ds.FlushCache();
  if (quiet.failed()) {
    *error = "cannot create the tables in " + destination() + ": " +
             quiet.message("the driver gave no reason");
    return false;
  }
  if (target.existing == ExistingTables::kAppend) {
    // The tables exist for every run from here on; the rows come in a
    // transaction of their own.
    in_transaction[0] = false;
    if (ds.CommitTransaction() != OGRERR_NONE) {
      *error = "cannot create the tables in " + destination() + ": " +
               quiet.message("the driver gave no reason");
      return false;
    }
    for (Slot& s : slots) {
      s.layer = ds.GetLayerByName(qualified(s).c_str());
      if (s.layer == nullptr) {
        *error = "the table " + qualified(s) + " cannot be found in " + destination();
        return false;
      }
      find_fields(s);
    }
    if (ds.StartTransaction() != OGRERR_NONE) {
      *error = "cannot start a transaction in " + destination() + ": " +
               quiet.message("the driver gave no reason");
      return false;
    }
    in_transaction[0] = true;
  }
  return true;
}

bool GdalOutput::Impl::open(const std::vector<LayerKind>& kinds, std::string* error) {
  register_gdal();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(target.format.c_str());
  if (driver == nullptr || !can_create_layers(driver)) {
    *error = "'" + target.format + "' is not an output format of this build (--formats lists them)";
    return false;
  }
  target.format = driver->GetDescription();
  database = gdal_format_is_database(target.format);
  drops_empty_geometry = target.format == "FlatGeobuf";
  if (target.epsg != 0 && srs.importFromEPSG(target.epsg) == OGRERR_NONE) {
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    has_srs = true;
  }
  for (const LayerKind kind : kAllKinds) {
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) continue;
    Slot s;
    s.kind = kind;
    s.name = gdal_layer_name(kind, database);
    slots.push_back(std::move(s));
  }

  if (database) {
    CPLSetThreadLocalConfigOption("PG_USE_COPY", "YES");
    if (target.connection.empty()) {
      *error = "-f " + target.format + " writes into a database: give it with --destination";
      return false;
    }
    return open_database(driver, error) && prepare_tables(error);
  }

  // A file, or a folder of files for a format of one layer a file.  It is
  // written anew, as the shapefiles are: adding to it would leave a file
  // half-changed by a failed run.
  if (target.existing == ExistingTables::kAppend) {
    *error = "--append adds to the tables of a database; a " + target.format +
             " file is written anew by every run";
    return false;
  }
  ext = file_extension(driver);
  folder = driver->GetMetadataItem(GDAL_DCAP_MULTIPLE_VECTOR_LAYERS) == nullptr;
  final_path = folder ? target.file_base + "_" + ext : target.file_base + "." + ext;
  work_path = folder ? final_path + ".tmp" : target.file_base + ".tmp." + ext;
  remove_work();
  std::error_code ec;
  if (folder && !std::filesystem::create_directory(work_path, ec)) {
    *error = "cannot create " + work_path + ": " + (ec ? ec.message() : "it exists");
    return false;
  }
  for (Slot& s : slots) {
    if (!folder && !datasets.empty()) {
      s.dataset = 0;
    } else {
      const std::string path = folder ? work_path + "/" + s.name + "." + ext : work_path;
      quiet.reset();
      DatasetPtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
      if (!ds) {
        *error = "cannot create " + (folder ? final_path + "/" + s.name + "." + ext : final_path) +
                 ": " + quiet.message(std::strerror(errno));
        return false;
      }
      // One transaction for everything written: the fast path of the
      // formats that have them (GeoPackage); the others ignore it.
      const bool transaction = ds->StartTransaction() == OGRERR_NONE;
      datasets.push_back(std::move(ds));
      in_transaction.push_back(transaction);
      s.dataset = datasets.size() - 1;
    }
    if (!create_layer(s, *datasets[s.dataset], error)) return false;
    find_fields(s);
  }
  return true;
}

void GdalOutput::Impl::write_object(const ObjectBatch& b, const AssembledObject& o) {
  const LayerKind kind = o.kind == ObjectKind::kBuilding   ? LayerKind::kBuilding
                         : o.kind == ObjectKind::kPrecinct ? LayerKind::kPrecinct
                                                           : LayerKind::kParcel;
  Slot* s = slot(kind);
  if (s == nullptr || !failure.empty()) return;
  FeaturePtr f(OGRFeature::CreateFeature(s->layer->GetLayerDefn()));
  const std::string_view ident = b.ident(o);
  set_integer(*f, *s, 0, s->next_id);
  if (kind == LayerKind::kPrecinct) {
    set_text(*f, *s, 1, ident);
    set_text(*f, *s, 2, b.value(o, 1));
    set_text(*f, *s, 3, b.value(o, 2));
    set_real(*f, *s, 4, o.area);
  } else {
    set_text(*f, *s, 1, ident);
    set_text(*f, *s, 2, slice(ident, 1, 2));
    set_text(*f, *s, 3, slice(ident, 1, 4));
    set_text(*f, *s, 4, slice(ident, 1, 8));
    set_text(*f, *s, 5, slice(ident, 1, 13));
    set_text(*f, *s, 6, slice(ident, 10, 13));
    if (kind == LayerKind::kParcel) {
      set_text(*f, *s, 7, slice(ident, 15));
      set_real(*f, *s, 8, o.area);
    } else {
      set_real(*f, *s, 7, o.area);
      set_integer(*f, *s, 8, leading_integer(b.value(o, 1)));
    }
  }
  set_source(*f, *s);
  f->SetGeometryDirectly(outline_geometry(b, o).release());
  bool held = true;
  if (!create_feature(*s, *f, &held)) return;
  // The running number counts the feature dropped too, so the others keep
  // the numbers they have in the shapefiles.
  ++s->next_id;
  if (!held) return;
  if (kind == LayerKind::kPrecinct) {
    ++counts.precincts_written;
    return;
  }
  const bool building = kind == LayerKind::kBuilding;
  ++(building ? counts.buildings_written : counts.parcels_written);
  counts.vertices_written += o.vertex_count;
  if (o.degenerate) ++counts.degenerate_outlines;
  if (!ident.empty() && s->ids.add(ident, o.ident_hash) == 2) {
    ++(building ? counts.duplicate_building_ids : counts.duplicate_parcel_ids);
  }
}

GDALDataset* GdalOutput::Impl::dataset_for(const std::string& name, bool attributes_only,
                                           std::string* error) {
  if (!folder) return datasets.front().get();
  // A table without geometry in a folder of a format that drops every
  // feature without one (FlatGeobuf): a CSV file of the folder instead,
  // UTF-8, its column types in the .csvt beside it.
  const bool as_csv = attributes_only && drops_empty_geometry;
  GDALDriver* driver =
      GetGDALDriverManager()->GetDriverByName(as_csv ? "CSV" : target.format.c_str());
  if (driver == nullptr) {
    *error = "cannot write the table " + name + " into " + final_path + ": this GDAL has no CSV";
    return nullptr;
  }
  const std::string file_ext = as_csv ? "csv" : ext;
  const std::string path = work_path + "/" + name + "." + file_ext;
  quiet.reset();
  DatasetPtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) {
    *error = "cannot create " + final_path + "/" + name + "." + file_ext + ": " +
             quiet.message(std::strerror(errno));
    return nullptr;
  }
  const bool transaction = ds->StartTransaction() == OGRERR_NONE;
  datasets.push_back(std::move(ds));
  in_transaction.push_back(transaction);
  return datasets.back().get();
}

OGRLayer* GdalOutput::Impl::register_layer(GDALDataset& ds, const std::string& name,
                                           OGRwkbGeometryType type, bool* existed,
                                           std::string* error) {
  *existed = false;
  const std::string qualified = target.schema.empty() ? name : target.schema + "." + name;
  if (database) {
    if (OGRLayer* there = ds.GetLayerByName(qualified.c_str())) {
      if (target.existing == ExistingTables::kError) {
        *error = "the table " + qualified + " exists already in " + destination() +
                 " (--overwrite replaces it, --append adds to it)";
        return nullptr;
      }
      if (target.existing == ExistingTables::kAppend) {
        *existed = true;
        return there;
      }
      const int index = layer_index(ds, qualified);
      quiet.reset();
      if (index < 0 || ds.DeleteLayer(index) != OGRERR_NONE || quiet.failed()) {
        *error = "cannot replace the table " + qualified + " in " + destination() + ": " +
                 quiet.message("the driver gave no reason");
        return nullptr;
      }
    }
  }
  StringList options;
  if (database) {
    options = add_option(std::move(options), "GEOMETRY_NAME", "geom");
    if (!target.schema.empty()) options = add_option(std::move(options), "SCHEMA", target.schema);
  } else if (EQUAL(ds.GetDriverName(), "CSV")) {
    options = add_option(std::move(options), "CREATE_CSVT", "YES");
  }
  quiet.reset();
  OGRLayer* layer = ds.CreateLayer(name.c_str(), has_srs && type != wkbNone ? &srs : nullptr, type,
                                   options.get());
  if (layer == nullptr) {
    *error = "cannot create the layer " + name + " in " + destination() + ": " +
             quiet.message("the driver gave no reason");
  }
  return layer;
}

void GdalOutput::Impl::set_cell(OGRFeature& f, int field, ColumnType type, std::string_view cell) {
  if (field < 0 || cell.empty()) return;
  const std::string value(cell);
  switch (type) {
    case ColumnType::kInteger:
      f.SetField(field, static_cast<GIntBig>(std::strtoll(value.c_str(), nullptr, 10)));
      return;
    case ColumnType::kDecimal:
      f.SetField(field, std::strtod(value.c_str(), nullptr));
      return;
    case ColumnType::kDate:
      if (is_swde_date(cell)) {
        f.SetField(field, std::stoi(value.substr(0, 4)), std::stoi(value.substr(4, 2)),
                   std::stoi(value.substr(6, 2)));
        return;
      }
      break;
    case ColumnType::kText:
      break;
  }
  text.clear();
  target.to_utf8(cell, text);
  f.SetField(field, text.c_str());
}

void GdalOutput::Impl::remove_work() {
  if (work_path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(work_path, ec);
  if (!folder) {
    // What SQLite keeps beside a GeoPackage while it writes.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      std::filesystem::remove(work_path + suffix, ec);
    }
  }
}

namespace {

// A column's name in the destination: its full SWDE name ("G5RPOD").
std::string column_name(const Column& c, bool database) {
  const std::string& name = c.full_name.empty() ? c.name : c.full_name;
  return database ? lower_case(name) : name;
}

int field_index(OGRLayer& layer, const std::string& name) {
  OGRFeatureDefn* defn = layer.GetLayerDefn();
  int i = defn->GetFieldIndex(name.c_str());
  if (i < 0) i = defn->GetFieldIndex(lower_case(name).c_str());
  return i;
}

// Adds a column unless the table has it (one appended to); its index.
int ensure_field(OGRLayer& layer, const std::string& name, OGRFieldType type) {
  const int there = field_index(layer, name);
  if (there >= 0) return there;
  OGRFieldDefn field(name.c_str(), type);
  if (layer.CreateField(&field) != OGRERR_NONE) return -1;
  return field_index(layer, name);
}

// A value as an SQL literal of the column's type.
std::string sql_literal(std::string_view cell, ColumnType type, TextToUtf8 to_utf8) {
  if (cell.empty()) return "NULL";
  std::string utf8;
  to_utf8(cell, utf8);
  std::string quoted = "'";
  for (const char c : utf8) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  quoted += '\'';
  switch (type) {
    case ColumnType::kInteger:
      return quoted + "::bigint";
    case ColumnType::kDecimal:
      return quoted + "::float8";
    case ColumnType::kDate:
      return is_swde_date(cell) ? quoted + "::date" : "NULL";
    case ColumnType::kText:
      break;
  }
  return quoted + "::varchar";
}

}  // namespace

int GdalOutput::add_table(const TableSpec& spec, std::string* error) {
  Impl& m = *impl_;
  Impl::Table t;
  t.name = m.database ? lower_case(spec.name) : spec.name;
  t.geometry = spec.geometry;
  GDALDataset* ds = m.dataset_for(t.name, spec.geometry == GeometryKind::kNone, error);
  if (ds == nullptr) return -1;
  bool existed = false;
  t.layer = m.register_layer(*ds, t.name, ogr_type_of(spec.geometry), &existed, error);
  if (t.layer == nullptr) return -1;
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    const Column& c = spec.columns[i];
    const int field = ensure_field(*t.layer, column_name(c, m.database),
                                   i == 0 ? OFTInteger : ogr_type_of(c.type));
    if (field < 0) {
      *error = "cannot add the column " + column_name(c, m.database) + " to " + t.name + " in " +
               m.destination() + ": " + m.quiet.message("the driver gave no reason");
      return -1;
    }
    if (i == 0) {
      t.id_field = field;
    } else {
      t.field.push_back(field);
      t.types.push_back(c.type);
    }
  }
  t.source_field = ensure_field(*t.layer, m.database ? "zrodlo" : "ZRODLO", OFTString);
  m.tables.push_back(std::move(t));
  return static_cast<int>(m.tables.size()) - 1;
}

void GdalOutput::write_row(int table, std::span<const std::string> cells, const ShapeValue& shape) {
  Impl& m = *impl_;
  if (!m.failure.empty()) return;
  Impl::Table& t = m.tables[static_cast<size_t>(table)];
  FeaturePtr f(OGRFeature::CreateFeature(t.layer->GetLayerDefn()));
  if (t.id_field >= 0) f->SetField(t.id_field, t.next_id);
  for (size_t i = 0; i < cells.size() && i < t.field.size(); ++i) {
    m.set_cell(*f, t.field[i], t.types[i], cells[i]);
  }
  if (t.source_field >= 0) f->SetField(t.source_field, m.target.source.c_str());
  if (t.geometry != GeometryKind::kNone) {
    f->SetGeometryDirectly(register_geometry(t.geometry, shape).release());
  }
  if (t.geometry != GeometryKind::kNone && !m.holds(t.name, *f)) {
    ++t.next_id;
    return;
  }
  if (t.layer->CreateFeature(f.get()) != OGRERR_NONE) {
    m.failure = "cannot write a row of " + t.name + " into " + m.destination() + ": " +
                m.quiet.message("the driver gave no reason");
    return;
  }
  ++t.next_id;
}

// In a database the cells go in with one UPDATE for many rows.  A row is
// found by its running number (the column id, 1, 2, ... in the run) among
// the rows this run's transaction inserted: with --append the table holds
// the rows of other runs too, with the same numbers (and, for a file
// converted again, the same ZRODLO).
bool GdalOutput::Impl::update_database_rows(Slot& s, const std::vector<Column>& columns,
                                            const std::vector<std::vector<std::string>>& rows,
                                            std::string* error) {
  GDALDataset& ds = *datasets.front();
  const std::string table =
      "\"" + (target.schema.empty() ? std::string() : target.schema + "\".\"") + s.name + "\"";
  const int id_field = s.field[0];
  if (id_field < 0) {
    *error = "cannot add the columns of " + s.name + " in " + destination() +
             ": the table has no column id to find the rows by";
    return false;
  }
  const std::string key = s.layer->GetLayerDefn()->GetFieldDefn(id_field)->GetNameRef();
  // xmin is the transaction that inserted a row version; the run's own
  // rows have the number of its transaction (the low 32 bits of the
  // 64-bit one PostgreSQL reports).
  const std::string own_rows = " AND t.xmin::text = (txid_current() % 4294967296)::text";
  // The columns, where the table lacks them: IF NOT EXISTS, as a run that
  // appends at the same time may have added them since the table was read.
  // ALTER TABLE waits for every other transaction that wrote into the
  // table, so it is left out where the columns are there already: runs
  // that append at once each hold rows of the table, and two of them
  // altering it would wait for each other.
  std::vector<std::string> present;
  {
    std::string schema = "current_schema()";
    if (!target.schema.empty()) {
      schema = "'";
      for (const char ch : target.schema)
        schema += ch == '\'' ? std::string("''") : std::string(1, ch);
      schema += "'";
    }
    const std::string query =
        "SELECT column_name::text FROM information_schema.columns WHERE table_schema = " + schema +
        " AND table_name = '" + s.name + "'";
    quiet.reset();
    if (OGRLayer* result = ds.ExecuteSQL(query.c_str(), nullptr, nullptr)) {
      for (FeaturePtr f(result->GetNextFeature()); f; f.reset(result->GetNextFeature())) {
        present.emplace_back(f->GetFieldAsString(0));
      }
      ds.ReleaseResultSet(result);
    }
  }
  for (const Column& c : columns) {
    if (std::find(present.begin(), present.end(), column_name(c, true)) != present.end()) continue;
    const char* type = c.type == ColumnType::kInteger   ? "bigint"
                       : c.type == ColumnType::kDecimal ? "float8"
                       : c.type == ColumnType::kDate    ? "date"
                                                        : "varchar";
    if (!run_sql(ds, quiet,
                 "ALTER TABLE " + table + " ADD COLUMN IF NOT EXISTS \"" + column_name(c, true) +
                     "\" " + type)) {
      *error = "cannot add the column " + column_name(c, true) + " to " + s.name + " in " +
               destination() + ": " + quiet.message("the driver gave no reason");
      return false;
    }
  }
  constexpr size_t kRowsAStatement = 2000;
  for (size_t first = 0; first < rows.size(); first += kRowsAStatement) {
    std::string sql = "UPDATE " + table + " AS t SET ";
    for (size_t c = 0; c < columns.size(); ++c) {
      sql +=
          (c == 0 ? "\"" : ", \"") + column_name(columns[c], true) + "\" = v.c" + std::to_string(c);
    }
    sql += " FROM (VALUES ";
    const size_t last = std::min(rows.size(), first + kRowsAStatement);
    for (size_t r = first; r < last; ++r) {
      sql += (r == first ? "(" : ", (") + std::to_string(r + 1);
      for (size_t c = 0; c < columns.size(); ++c) {
        const std::string_view cell = c < rows[r].size() ? rows[r][c] : std::string_view();
        sql += ", " + sql_literal(cell, columns[c].type, target.to_utf8);
      }
      sql += ")";
    }
    sql += ") AS v(k";
    for (size_t c = 0; c < columns.size(); ++c) sql += ", c" + std::to_string(c);
    sql += ") WHERE t.\"" + key + "\" = v.k" + own_rows;
    if (!run_sql(ds, quiet, sql)) {
      *error = "cannot add the columns of " + s.name + " in " + destination() + ": " +
               quiet.message("the driver gave no reason");
      return false;
    }
  }
  return true;
}

// A layer of a format written front to back (FlatGeobuf, whose spatial
// index orders the file at the end): its file, closed, is read back and
// written again under its name with the added columns, each feature's
// cells found by its running number (ID), the order the rows came in.
bool GdalOutput::Impl::rewrite_with_columns(Slot& s, const std::vector<Column>& columns,
                                            const std::vector<std::vector<std::string>>& rows,
                                            std::string* error) {
  const std::string path = work_path + "/" + s.name + "." + ext;
  const std::string plain = work_path + "/" + s.name + ".plain." + ext;
  const auto failed = [&](const std::string& what) {
    *error = "cannot add the columns of " + s.name + " in " + final_path + ": " + what + ": " +
             quiet.message("the driver gave no reason");
    return false;
  };
  quiet.reset();
  if (in_transaction[s.dataset]) {
    in_transaction[s.dataset] = false;
    if (datasets[s.dataset]->CommitTransaction() != OGRERR_NONE) return failed("finishing it");
  }
  OGRwkbGeometryType type = s.layer->GetGeomType();
  datasets[s.dataset].reset();  // closing writes the file with its index
  s.layer = nullptr;
  if (quiet.failed()) return failed("closing it");
  std::error_code ec;
  std::filesystem::rename(path, plain, ec);
  if (ec) {
    *error = "cannot rename " + path + ": " + ec.message();
    return false;
  }
  const char* allowed[] = {target.format.c_str(), nullptr};
  DatasetPtr in(GDALDataset::Open(plain.c_str(), GDAL_OF_VECTOR, allowed, nullptr, nullptr));
  OGRLayer* from = in ? in->GetLayer(0) : nullptr;
  if (from == nullptr) return failed("reading it back");
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(target.format.c_str());
  DatasetPtr out(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!out) return failed("writing it again");
  StringList options = add_option(StringList(), "SPATIAL_INDEX", "YES");
  OGRLayer* to = out->CreateLayer(s.name.c_str(), has_srs ? &srs : nullptr, type, options.get());
  if (to == nullptr) return failed("writing it again");
  OGRFeatureDefn* plain_defn = from->GetLayerDefn();
  for (int i = 0; i < plain_defn->GetFieldCount(); ++i) {
    if (to->CreateField(plain_defn->GetFieldDefn(i)) != OGRERR_NONE) return failed("its columns");
  }
  std::vector<int> fields;
  for (const Column& c : columns) {
    const int field = ensure_field(*to, column_name(c, false), ogr_type_of(c.type));
    if (field < 0) return failed("the column " + column_name(c, false));
    fields.push_back(field);
  }
  const int id_field = plain_defn->GetFieldIndex("ID");
  from->ResetReading();
  for (FeaturePtr f(from->GetNextFeature()); f; f.reset(from->GetNextFeature())) {
    FeaturePtr g(OGRFeature::CreateFeature(to->GetLayerDefn()));
    g->SetFrom(f.get(), TRUE);
    const GIntBig id = id_field >= 0 ? f->GetFieldAsInteger64(id_field) : 0;
    if (id >= 1 && static_cast<size_t>(id) <= rows.size()) {
      const std::vector<std::string>& cells = rows[static_cast<size_t>(id - 1)];
      for (size_t c = 0; c < columns.size() && c < cells.size(); ++c) {
        set_cell(*g, fields[c], columns[c].type, cells[c]);
      }
    }
    if (to->CreateFeature(g.get()) != OGRERR_NONE) return failed("writing a feature");
  }
  in.reset();
  std::filesystem::remove(plain, ec);
  s.layer = to;
  datasets[s.dataset] = std::move(out);
  return true;
}

bool GdalOutput::add_columns(LayerKind kind, const std::vector<Column>& columns,
                             const std::vector<std::vector<std::string>>& rows,
                             std::string* error) {
  Impl& m = *impl_;
  Impl::Slot* s = m.slot(kind);
  if (s == nullptr || columns.empty() || !m.failure.empty()) return true;
  if (static_cast<int64_t>(rows.size()) != s->next_id - 1) {
    *error = "the register has " + std::to_string(rows.size()) + " rows for " + s->name +
             ", which holds " + std::to_string(s->next_id - 1);
    return false;
  }
  if (!m.database && !s->layer->TestCapability(OLCRandomWrite)) {
    // A format written front to back (FlatGeobuf): the layer's file is
    // written once more with the added columns.
    if (m.folder) return m.rewrite_with_columns(*s, columns, rows, error);
    *error = "--all adds columns to " + s->name + " after it is written, which " + m.target.format +
             " cannot do (GPKG and PostgreSQL can)";
    return false;
  }
  if (m.database) return m.update_database_rows(*s, columns, rows, error);
  std::vector<int> fields;
  for (const Column& c : columns) {
    const int field = ensure_field(*s->layer, column_name(c, m.database), ogr_type_of(c.type));
    if (field < 0) {
      *error = "cannot add the column " + column_name(c, m.database) + " to " + s->name + ": " +
               m.quiet.message("the driver gave no reason");
      return false;
    }
    fields.push_back(field);
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    // The layer's features were written first to last: feature r + 1.
    FeaturePtr f(s->layer->GetFeature(static_cast<GIntBig>(r + 1)));
    if (!f) {
      *error = "cannot read back row " + std::to_string(r + 1) + " of " + s->name;
      return false;
    }
    for (size_t c = 0; c < columns.size() && c < rows[r].size(); ++c) {
      m.set_cell(*f, fields[c], columns[c].type, rows[r][c]);
    }
    if (s->layer->SetFeature(f.get()) != OGRERR_NONE) {
      *error = "cannot add the columns of row " + std::to_string(r + 1) + " of " + s->name + ": " +
               m.quiet.message("the driver gave no reason");
      return false;
    }
  }
  return true;
}

GdalOutput::GdalOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GdalOutput::~GdalOutput() {
  if (impl_) discard();
}

std::unique_ptr<GdalOutput> GdalOutput::open(const GdalTarget& target,
                                             const std::vector<LayerKind>& kinds,
                                             std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->target = target;
  std::unique_ptr<GdalOutput> output(new GdalOutput(std::move(impl)));
  if (!output->impl_->open(kinds, error)) return nullptr;  // the destructor cleans up
  return output;
}

void GdalOutput::write(const ObjectBatch& batch) {
  // Layer by layer within the batch: a database's COPY into one table
  // goes on unbroken; each layer keeps the file's order.
  for (const ObjectKind kind :
       {ObjectKind::kParcel, ObjectKind::kBuilding, ObjectKind::kPrecinct}) {
    for (const AssembledObject& o : batch.objects) {
      if (o.kind == kind) impl_->write_object(batch, o);
    }
  }
}

int64_t GdalOutput::write_points(const PointTable& points, const CoordinateTransform& transform,
                                 std::FILE* console) {
  Impl& m = *impl_;
  Impl::Slot* s = m.slot(LayerKind::kPoint);
  if (s == nullptr) return 0;
  int64_t written = 0;
  for (size_t i = 0; i < points.size() && m.failure.empty(); ++i) {
    const auto [x, y] = written_point(points, i, transform, console);
    FeaturePtr f(OGRFeature::CreateFeature(s->layer->GetLayerDefn()));
    m.set_integer(*f, *s, 0, s->next_id);
    m.set_text(*f, *s, 1, points.id(i));
    m.set_text(*f, *s, 2, points.alt_id(i));
    if (points.has_attributes()) {
      const PointAttributes& a = points.attributes(i);
      m.set_text(*f, *s, 3, points.nrp(i));
      m.set_text(*f, *s, 4, points.ozr(i));
      m.set_integer(*f, *s, 5, a.g5stb);
      m.set_integer(*f, *s, 6, a.g5zrd);
      m.set_integer(*f, *s, 7, a.g5bpp);
      m.set_integer(*f, *s, 8, a.g5rzg);
      m.set_text(*f, *s, 9, points.rkrg(i));
    }
    m.set_source(*f, *s);
    // A point without coordinates keeps its row with no geometry, as the
    // shapefile keeps it as a null shape: no reader puts it at (0, 0).
    if (points.has_coordinates(i)) {
      f->SetGeometryDirectly(std::make_unique<OGRPoint>(x, y).release());
    }
    bool held = true;
    if (!m.create_feature(*s, *f, &held)) break;
    ++s->next_id;
    if (held) ++written;
  }
  return written;
}

bool GdalOutput::commit(std::string* error) {
  Impl& m = *impl_;
  if (!m.failure.empty()) {
    *error = m.failure;
    return false;
  }
  for (size_t i = 0; i < m.datasets.size(); ++i) {
    m.quiet.reset();
    if (m.in_transaction[i]) {
      m.in_transaction[i] = false;
      if (m.datasets[i]->CommitTransaction() != OGRERR_NONE) {
        *error = "cannot finish " + m.destination() + ": " +
                 m.quiet.message("the transaction was not committed");
        return false;
      }
    }
    // Closing builds what the format builds last (a GeoPackage's R-tree)
    // and writes the rest of the file.
    m.quiet.reset();
    m.datasets[i].reset();
    if (m.quiet.failed()) {
      *error = "cannot finish " + m.destination() + ": " + m.quiet.message("closing failed");
      return false;
    }
  }
  m.datasets.clear();
  if (m.database) return true;
  std::error_code ec;
  if (m.folder && std::filesystem::exists(m.final_path, ec)) {
    // An earlier run's folder goes once the new one is in place.
    const std::string old = m.final_path + ".old.tmp";
    std::filesystem::remove_all(old, ec);
    std::filesystem::rename(m.final_path, old, ec);
    if (!ec) std::filesystem::rename(m.work_path, m.final_path, ec);
    std::error_code ignored;
    std::filesystem::remove_all(old, ignored);
  } else {
    std::filesystem::rename(m.work_path, m.final_path, ec);
  }
  if (ec) {
    *error = "cannot rename " + m.work_path + " to " + m.final_path + ": " + ec.message();
    return false;
  }
  m.work_path.clear();
  return true;
}

void GdalOutput::discard() {
  Impl& m = *impl_;
  for (size_t i = 0; i < m.datasets.size(); ++i) {
    if (m.datasets[i] && m.in_transaction[i]) {
      m.in_transaction[i] = false;
      m.datasets[i]->RollbackTransaction();
    }
  }
  m.datasets.clear();
  m.remove_work();
  m.work_path.clear();
}

const std::string& GdalOutput::failure() const {
  return impl_->failure;
}

const LayerCounts& GdalOutput::counts() const {
  return impl_->counts;
}

std::string GdalOutput::destination_name() const {
  return impl_->destination();
}

std::vector<std::string> GdalOutput::work_paths() const {
  const Impl& m = *impl_;
  if (m.work_path.empty()) return {};
  std::vector<std::string> paths;
  if (m.folder) {
    for (const Impl::Slot& s : m.slots) paths.push_back(m.work_path + "/" + s.name + "." + m.ext);
    for (const Impl::Table& t : m.tables) paths.push_back(m.work_path + "/" + t.name + "." + m.ext);
    paths.push_back(m.work_path);  // the folder, once empty
  } else {
    // SQLite's journal files beside a GeoPackage.
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
      paths.push_back(m.work_path + suffix);
  }
  return paths;
}

std::vector<std::string> GdalOutput::layer_names() const {
  std::vector<std::string> names;
  for (const Impl::Slot& s : impl_->slots) names.push_back(s.name);
  for (const Impl::Table& t : impl_->tables) names.push_back(t.name);
  return names;
}

std::vector<std::string> GdalOutput::notes() const {
  std::vector<std::string> lines;
  for (const auto& [layer, count] : impl_->dropped) {
    lines.push_back(std::to_string(count) + (count == 1 ? " feature" : " features") + " of " +
                    layer + " without geometry not written: GDAL " +
                    GDALVersionInfo("RELEASE_NAME") + "'s " + impl_->target.format +
                    " writer cannot hold a feature without geometry");
  }
  return lines;
}

}  // namespace egib

// The module's entry point, the one name it exports.
extern "C" __attribute__((visibility("default"))) const egib::GdalModuleApi*
egib2shp_gdal_module() {
  static const egib::GdalModuleApi api{
      egib::kGdalModuleVersion, EGIB_VERSION, &egib::library_vector_formats,
      [](const egib::GdalTarget& target, const std::vector<egib::LayerKind>& kinds,
         std::string* error) -> std::unique_ptr<egib::GdalDestination> {
        return egib::GdalOutput::open(target, kinds, error);
      }};
  return &api;
}
