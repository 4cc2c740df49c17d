// Layers and tables of the whole register: one per object type, its
// schema made from the data (layers/table_schema.h).  A type whose objects
// have geometry is a layer (polygons, lines or points; an object of it
// without geometry gets a null shape); any other type is a dBase table
// alone.  The writer takes plain values: the schema, then per row its
// cells and its shape.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "layers/layer_files.h"
#include "layers/table_schema.h"

namespace egib {

enum class GeometryKind : uint8_t { kNone, kPolygon, kLine, kPoint };

// One shape: vertices (X easting, Y northing) and the first vertex of each
// part; no vertex is a null shape.
struct ShapeValue {
  std::span<const double> x;
  std::span<const double> y;
  std::span<const int> part_start;  // empty: one part from vertex 0
};

struct TableSpec {
  std::string name;  // the layer name, "KLU"
  GeometryKind geometry = GeometryKind::kNone;
  std::vector<Column> columns;  // the running number first
};

// The dBase record of a row (deletion flag, then every cell), the cells
// formatted by the columns' types; a text longer than its column is cut
// there and counted in *texts_cut.  cells[i] goes to columns[i + 1] (the
// first column is the running number, number).
void format_dbase_record(const std::vector<Column>& columns, int64_t number,
                         std::span<const std::string> cells, std::string& record,
                         int64_t* texts_cut);

class RegisterTable {
 public:
  // Creates the layer (or the table alone) named final_base.
  bool create(const std::string& final_base, const TableSpec& spec, std::string_view prj_wkt,
              std::string* error);
  // Appends a row; cells in the columns' order after the running number.
  void write(std::span<const std::string> cells, const ShapeValue& shape);
  // The same with the cells formatted already (format_dbase_cells of the
  // columns after the running number).
  void write_formatted(std::string_view cells, const ShapeValue& shape);
  int64_t rows() const { return rows_; }
  int64_t texts_cut() const { return texts_cut_; }
  int64_t null_shapes() const { return null_shapes_; }
  const TableSpec& spec() const { return spec_; }
  Layer& layer() { return layer_; }

 private:
  TableSpec spec_;
  void write_record_and_shape(const ShapeValue& shape);
  Layer layer_;
  std::string record_;
  int64_t rows_ = 0;
  int64_t texts_cut_ = 0;
  int64_t null_shapes_ = 0;
};

// Appends the cells of one row, formatted as the columns' types want (as
// the dBase record holds them), to out; texts cut counted in *texts_cut.
// width: cells_width(columns), asked once for a table's many rows.
void format_dbase_cells(std::span<const Column> columns, size_t width,
                        std::span<const std::string_view> cells, std::string& out,
                        int64_t* texts_cut);

// Adds columns to the table of a layer before its first record is written;
// the records then carry their cells (format_dbase_cells) after their own.
bool add_columns_before_records(Layer& layer, std::span<const Column> extra, std::string* error);

// The bytes the cells of these columns take in a dBase record.
size_t cells_width(std::span<const Column> columns);

// Adds columns to the closed table of a layer written before (its working
// .dbf, rewritten in place): each record keeps its bytes and gets its row
// of cells (from format_dbase_cells) after them.  False when the counts
// differ (the table left as it was) or the file cannot be written (the run
// then fails, and its working files are removed).
bool append_columns(Layer& layer, const std::vector<Column>& extra, std::string_view cells,
                    int64_t rows, std::string* error);

// The list of the columns of every layer and table, with their full names:
// layer,column,full_name,role,type,width,decimals.
bool write_fields_csv(const std::string& path, std::span<const TableSpec> tables,
                      std::string* error);

}  // namespace egib
