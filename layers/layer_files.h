// The two output layers (parcels "_DZE", buildings "_BUD"): shapefile and
// dBase handles, their schemas, the Windows-1250 code page declaration and
// the detection of write failures inside shapelib.
#pragma once

#include <shapefil.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace egib {

struct ShpCloser {
  void operator()(SHPInfo* h) const noexcept { SHPClose(h); }
};
struct DbfCloser {
  void operator()(DBFInfo* h) const noexcept { DBFClose(h); }
};
using ShpHandle = std::unique_ptr<SHPInfo, ShpCloser>;
using DbfHandle = std::unique_ptr<DBFInfo, DbfCloser>;

enum class LayerKind { kParcel, kBuilding, kPoint, kPrecinct };

// Attribute columns, in table order.  The building table has IDB where the
// parcel table has IDD, and one more column, FUNKCJA.
enum Field : int {
  kFieldId = 0,
  kFieldIdent,  // IDD or IDB
  kFieldKodWoj,
  kFieldKodPow,
  kFieldKodGmi,
  kFieldKodObr,
  kFieldObr,
  kFieldDnr,
  kFieldPow,
  kFieldFunkcja,
};

// Columns of the boundary-point table.
enum PointField : int {
  kPointFieldId = 0,
  kPointFieldIdp,
  kPointFieldKlucz,
  kPointFieldNrp,
  kPointFieldOzr,
  kPointFieldStb,
  kPointFieldZrd,
  kPointFieldBpp,
  kPointFieldRzg,
  kPointFieldRkrg,
};

// Columns of the precinct table.
enum PrecinctField : int {
  kPrecinctFieldId = 0,
  kPrecinctFieldIdr,
  kPrecinctFieldNro,
  kPrecinctFieldNaz,
  kPrecinctFieldPow,
};

struct FieldSpec {
  const char* name;
  DBFFieldType type;
  int width;
  int decimals;
};

// Schema of a layer's table, in column order.
std::basic_string_view<FieldSpec> layer_schema(LayerKind kind);
// Shape type of a layer: SHPT_POINT for the boundary points, SHPT_POLYGON
// for the others.
int layer_shape_type(LayerKind kind);

// The date a dBase header carries (years since 1900, month, day).
struct DbfDate {
  int years_since_1900;
  int month;
  int day;
};
// The date of the run in UTC, or of SOURCE_DATE_EPOCH (seconds since 1970)
// when that is set, so that a rebuilt output is byte for byte the same.
DbfDate dbf_date_of_run();

// The dBase language driver of Windows-1250, the code page of the tables
// (the same one the .cpg names), for readers that ignore the .cpg.
inline constexpr int kDbfLanguageDriver1250 = 0xC8;

// The first write failure of a layer's files ("cannot write NAME:
// reason"), noted from whichever thread writes them (a layer's shapes and
// records may be written on two at once).
class FailureRecord {
 public:
  void note(const std::string& message) {
    const std::lock_guard lock(mutex_);
    if (first_.empty()) first_ = message;
  }
  std::string first() const {
    const std::lock_guard lock(mutex_);
    return first_;
  }

 private:
  mutable std::mutex mutex_;
  std::string first_;
};

// One layer.  It is written under a working name beside its final one
// ("<name>.tmp.shp" ...) and put in place by commit(), so an interrupted or
// failed run never leaves a layer that looks complete but is not.
class Layer {
 public:
  Layer() = default;
  Layer(Layer&&) = default;
  Layer& operator=(Layer&&) = default;
  ~Layer();

  // Creates the three files and the .cpg; false with a message in *error.
  bool create(const std::string& final_base, LayerKind kind, std::string* error,
              const DbfDate& date = dbf_date_of_run());
  // Creates a layer of any shape type with the given columns, or with
  // shape_type SHPT_NULL a dBase table alone (.dbf and .cpg).
  bool create_with_fields(const std::string& final_base, int shape_type,
                          std::basic_string_view<FieldSpec> fields, std::string* error,
                          const DbfDate& date = dbf_date_of_run());
  SHPHandle shp() const { return shp_.get(); }
  DBFHandle dbf() const { return dbf_.get(); }
  const std::string& final_base() const { return final_base_; }
  const std::string& work_base() const { return work_base_; }
  // Every file written under the working name, for removal on a signal.
  std::vector<std::string> work_files() const;
  // The files of a committed layer under their final names.
  std::vector<std::string> final_files() const;
  // Extra file written beside the layer (for instance the .prj), by extension.
  bool write_side_file(const char* extension, std::string_view content, std::string* error);
  // Closes the handles.  Write failures seen so far stay in io_failure().
  void close();
  // The first write failure of the layer's files (disk full, I/O error:
  // "cannot write NAME: reason"), noticed inside shapelib's writes, flushes
  // and closes; empty when none happened.
  std::string io_failure() const { return failures_ ? failures_->first() : std::string(); }
  // Renames the working files to their final names; false with a message.
  bool commit(std::string* error);
  // Removes the working files.
  void discard();
  // A shape or record of the layer could not be written (reported already).
  void note_write_failure() { write_failed_ = true; }
  bool write_failed() const { return write_failed_; }
  // A dBase table without shapes.
  bool table_only() const { return table_only_; }
  // Whether the layer is part of the run.
  bool created() const { return !work_base_.empty(); }

 private:
  std::string final_base_;
  std::string work_base_;
  ShpHandle shp_;
  DbfHandle dbf_;
  bool has_prj_ = false;
  bool committed_ = false;
  bool write_failed_ = false;
  bool table_only_ = false;
  // Shared with the files while shapelib holds them (a moved layer keeps it).
  std::shared_ptr<FailureRecord> failures_;
  std::vector<const char*> extensions() const;
  bool add_fields(std::basic_string_view<FieldSpec> fields, std::string* error);
};

// Appends whole records (each the table's record length, its deletion flag
// first) after the last one, with one write, where the library would take
// them one at a time (and blank each new record byte by byte before
// copying it: on a county's million points that was most of the point
// layer's time).  The library keeps the table: it counts the records,
// writes the header and closes the file as for records of its own, and a
// cell written through it later reads the record back.  False when the
// records are not whole or the write fails (the layer notes the reason).
bool append_dbase_records(DBFHandle dbf, std::string_view records);

}  // namespace egib
