// Every layer of a run in one destination of a format that GDAL writes:
// a GeoPackage, a PostgreSQL/PostGIS database, a folder of FlatGeobuf
// files, and so on.  The writer itself (layers/gdal_output.h) is a module
// of its own, egib2shp-gdal.so, loaded when a run or --formats asks for
// GDAL: linked into the program, GDAL and the hundred libraries it brings
// took 30 ms of every start, four times the whole conversion of a small
// file, with shapefiles that never use them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/transform.h"
#include "layers/layer_files.h"
#include "layers/layer_records.h"
#include "layers/outline.h"
#include "layers/point_index.h"
#include "layers/register_layers.h"

namespace egib {

// What to do with tables that a database holds already.
enum class ExistingTables { kError, kOverwrite, kAppend };

// Converts a text as the records hold it (Windows-1250) into UTF-8,
// appending to out.
using TextToUtf8 = void (*)(std::string_view text, std::string& out);

struct GdalTarget {
  std::string format;      // GDAL's short name: "GPKG", "PostgreSQL", "FlatGeobuf"
  std::string file_base;   // file formats: the destination less its extension
  std::string connection;  // databases: the connection ("PG:dbname=...")
  std::string schema;      // databases: schema of the tables, or empty
  ExistingTables existing = ExistingTables::kError;
  int epsg = 0;        // coordinate system of the geometries, 0 for none known
  std::string source;  // the input file's name, for the column ZRODLO
  TextToUtf8 to_utf8 = nullptr;
};

struct GdalFormat {
  std::string name;       // as -f takes it
  std::string long_name;  // as GDAL describes it
};

// A destination open for writing (the methods of layers/gdal_output.h).
class GdalDestination {
 public:
  virtual ~GdalDestination() = default;
  // Writes the parcels, buildings and precincts of a batch, in order.
  virtual void write(const ObjectBatch& batch) = 0;
  // Writes every point of the table (converted already); the area
  // warnings of the points that warn go to console.  Returns the count.
  virtual int64_t write_points(const PointTable& points, const CoordinateTransform& transform,
                               std::FILE* console) = 0;
  // The whole register (--all): a layer, or a table without geometry, of
  // the type's columns under their full names, typed (texts, integers,
  // reals, dates); -1 with a message when it cannot be made.
  virtual int add_table(const TableSpec& spec, std::string* error) = 0;
  // A row of a table made by add_table: cells[i] for spec.columns[i + 1]
  // (the first column is the running number).
  virtual void write_row(int table, std::span<const std::string> cells,
                         const ShapeValue& shape) = 0;
  // Columns added to a layer of the plain run (a parcel's relations, its
  // other attributes): rows[i] holds the cells of the layer's row i + 1.
  virtual bool add_columns(LayerKind kind, const std::vector<Column>& columns,
                           const std::vector<std::vector<std::string>>& rows,
                           std::string* error) = 0;
  // Finishes the destination (spatial indexes, the transaction, the
  // renaming into place); false with a message.
  virtual bool commit(std::string* error) = 0;
  // Drops whatever was written (the working files, the transaction).
  virtual void discard() = 0;

  // The first write that failed, or an empty string.
  virtual const std::string& failure() const = 0;
  virtual const LayerCounts& counts() const = 0;
  // Where the run writes: the final file or folder, or the connection
  // with its password hidden.
  virtual std::string destination_name() const = 0;
  // The working files and folders, for removal on a signal.
  virtual std::vector<std::string> work_paths() const = 0;
  // The layers' names in the destination, in order.
  virtual std::vector<std::string> layer_names() const = 0;
  // What the destination could not hold, a line each (features without a
  // geometry that the format drops), for the run's summary.
  virtual std::vector<std::string> notes() const = 0;
};

// Whether this build writes through GDAL, and its module loads.
bool gdal_built_in();
// Why it does not (the build has no GDAL, or the module's path and the
// loader's message); empty when it does.
std::string gdal_unavailable_reason();
// The vector formats of the GDAL this program was built with that can
// create layers, by name; none without the module.
std::vector<GdalFormat> gdal_vector_formats();
// Opens the destination and creates the layers of the given kinds; null
// with a one-line message in *error when it cannot (no module, unknown
// format, no server, no permission, a table that exists already).
std::unique_ptr<GdalDestination> open_gdal_destination(const GdalTarget& target,
                                                       const std::vector<LayerKind>& kinds,
                                                       std::string* error);

// Whether a format's destination is a database connection, not a file.
bool gdal_format_is_database(std::string_view format);
// The layer name of a kind: "DZE", "BUD", "PKT", "OBR" (lower case in a
// database, where unquoted names are).
std::string gdal_layer_name(LayerKind kind, bool database);
// A connection string with the value of password=... replaced by "***".
std::string hide_password(std::string_view connection);
// A name in lower case (ASCII), as a database keeps a name given unquoted.
std::string lower_case(std::string_view name);

// What the module hands the program: its entry point, named
// kGdalModuleEntry, returns this.  The version changes with the layout of
// these types, and a module of another version is not used.
inline constexpr int kGdalModuleVersion = 1;
inline constexpr const char* kGdalModuleEntry = "egib2shp_gdal_module";
struct GdalModuleApi {
  int version;
  const char* program_version;  // of the egib2shp it was built with: the same one's alone is used
  std::vector<GdalFormat> (*vector_formats)();
  std::unique_ptr<GdalDestination> (*open)(const GdalTarget& target,
                                           const std::vector<LayerKind>& kinds, std::string* error);
};

}  // namespace egib
