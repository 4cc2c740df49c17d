// Every layer of a run in one destination of a format that GDAL writes:
// a GeoPackage, a PostgreSQL/PostGIS database, a folder of FlatGeobuf
// files, and so on.  Unlike the shapefiles (dBase names of ten characters,
// 254-byte Windows-1250 texts) the tables get typed columns, UTF-8 texts
// that are not cut, the TERYT codes as the texts they are ("02", "0201")
// and the coordinate system by its EPSG code.
//
// A file destination is written under a working name and renamed into
// place by commit(); in a database the tables are written inside a
// transaction that commit() ends, so a failed or interrupted run leaves
// nothing half-written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
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

// Whether this build writes through GDAL at all.
bool gdal_built_in();
// The vector formats of the GDAL this program was built with that can
// create layers, by name.
std::vector<GdalFormat> gdal_vector_formats();
// Whether a format's destination is a database connection, not a file.
bool gdal_format_is_database(std::string_view format);

class GdalOutput {
 public:
  GdalOutput(const GdalOutput&) = delete;
  GdalOutput& operator=(const GdalOutput&) = delete;
  ~GdalOutput();

  // Opens the destination and creates the layers of the given kinds; null
  // with a one-line message in *error when it cannot (unknown format, no
  // server, no permission, a table that exists already).
  static std::unique_ptr<GdalOutput> open(const GdalTarget& target,
                                          const std::vector<LayerKind>& kinds, std::string* error);

  // Writes the parcels, buildings and precincts of a batch, in order.
  void write(const ObjectBatch& batch);
  // Writes every point of the table (converted already); the area
  // warnings of the points that warn go to console.  Returns the count.
  int64_t write_points(const PointTable& points, const CoordinateTransform& transform,
                       std::FILE* console);
  // The whole register (--all): a layer, or a table without geometry, of
  // the type's columns under their full names, typed (texts, integers,
  // reals, dates); -1 with a message when it cannot be made.
  int add_table(const TableSpec& spec, std::string* error);
  // A row of a table made by add_table: cells[i] for spec.columns[i + 1]
  // (the first column is the running number).
  void write_row(int table, std::span<const std::string> cells, const ShapeValue& shape);
  // Columns added to a layer of the plain run (a parcel's relations, its
  // other attributes): rows[i] holds the cells of the layer's row i + 1.
  bool add_columns(LayerKind kind, const std::vector<Column>& columns,
                   const std::vector<std::vector<std::string>>& rows, std::string* error);
  // Finishes the destination (spatial indexes, the transaction, the
  // renaming into place); false with a message.
  bool commit(std::string* error);
  // Drops whatever was written (the working files, the transaction).
  void discard();

  // The first write that failed, or an empty string.
  const std::string& failure() const;
  const LayerCounts& counts() const;
  // Where the run writes: the final file or folder, or the connection
  // with its password hidden.
  std::string destination_name() const;
  // The working files and folders, for removal on a signal.
  std::vector<std::string> work_paths() const;
  // The layers' names in the destination, in order.
  std::vector<std::string> layer_names() const;
  // What the destination could not hold, a line each (features without a
  // geometry that the format drops), for the run's summary.
  std::vector<std::string> notes() const;

  struct Impl;

 private:
  explicit GdalOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The layer name of a kind: "DZE", "BUD", "PKT", "OBR" (lower case in a
// database, where unquoted names are).
std::string gdal_layer_name(LayerKind kind, bool database);

// A connection string with the value of password=... replaced by "***".
std::string hide_password(std::string_view connection);

}  // namespace egib
