// The writer of a GDAL destination (built into the module
// egib2shp-gdal.so; the program sees it as a GdalDestination, see
// layers/gdal_destination.h).  Unlike the shapefiles (dBase names of ten
// characters, 254-byte Windows-1250 texts) the tables get typed columns,
// UTF-8 texts that are not cut, the TERYT codes as the texts they are
// ("02", "0201") and the coordinate system by its EPSG code.
//
// A file destination is written under a working name and renamed into
// place by commit(); in a database the tables are written inside a
// transaction that commit() ends, so a failed or interrupted run leaves
// nothing half-written.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "layers/gdal_destination.h"

namespace egib {

// The vector formats of the library that can create layers, by name.
std::vector<GdalFormat> library_vector_formats();

class GdalOutput final : public GdalDestination {
 public:
  GdalOutput(const GdalOutput&) = delete;
  GdalOutput& operator=(const GdalOutput&) = delete;
  ~GdalOutput() override;

  static std::unique_ptr<GdalOutput> open(const GdalTarget& target,
                                          const std::vector<LayerKind>& kinds, std::string* error);

  void write(const ObjectBatch& batch) override;
  int64_t write_points(const PointTable& points, const CoordinateTransform& transform,
                       std::FILE* console) override;
  int add_table(const TableSpec& spec, std::string* error) override;
  void write_row(int table, std::span<const std::string> cells, const ShapeValue& shape) override;
  bool add_columns(LayerKind kind, const std::vector<Column>& columns,
                   const std::vector<std::vector<std::string>>& rows, std::string* error) override;
  bool commit(std::string* error) override;
  void discard() override;
  const std::string& failure() const override;
  const LayerCounts& counts() const override;
  std::string destination_name() const override;
  std::vector<std::string> work_paths() const override;
  std::vector<std::string> layer_names() const override;
  std::vector<std::string> notes() const override;

  struct Impl;

 private:
  explicit GdalOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace egib
