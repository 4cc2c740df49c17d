// One run of the converter: it owns everything the run holds (the input,
// the point table, the layers, the run log, the statistics) and takes the
// stages in order, handing each what it needs:
//
//   open the outputs -> tell the code page -> collecting pass -> tell the
//   axis order -> index and convert the points -> boundary-point layer ->
//   writing pass -> commit the layers.
//
// With --all the register's passes follow the writing pass, and the
// boundary-point layer is written after them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diag/error_log.h"
#include "driver/cell_feed.h"
#include "driver/options.h"
#include "driver/run_report.h"
#include "geodesy/transform.h"
#include "layers/gdal_destination.h"
#include "layers/layer_files.h"
#include "layers/layer_records.h"
#include "layers/outline.h"
#include "layers/point_index.h"
#include "layers/point_layer.h"
#include "layers/register_layers.h"
#include "swde/axis_order.h"
#include "swde/encoding.h"
#include "swde/input_file.h"
#include "swde/register_object.h"

namespace egib {

class ConversionRun {
 public:
  // input: the opened input file.
  ConversionRun(const Options& options, InputFile input);
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;

  // The whole run; returns the exit status.  The report holds what it did.
  int execute();
  const RunReport& report() const { return report_; }
  RunReport& report() { return report_; }
  // Whether the passes ran (the summary is printed then).
  bool passes_ran() const { return report_.passes_ran; }
  // The layers of the run, in the order they are created and committed.
  std::vector<Layer*> layers();
  // The destination of a run in a GDAL format (-f), null for shapefiles.
  const GdalDestination* gdal_output() const { return gdal_.get(); }
  TextEncoding encoding() const { return encoding_; }
  bool easting_first() const { return easting_first_; }
  // The run's transformation, built once from the options.
  const CoordinateTransform& transform() const { return transform_; }

 private:
  int run_stages();
  int failed(const std::string& message);
  bool open_outputs();
  bool open_gdal_output();
  void settle_encoding();
  void collect();
  void settle_axis_order();
  void write_objects(const class CoordinateTransform& transform);

  // The whole register (--all): every type as a layer or table, and the
  // columns added to the four layers above (driver/register_run.cpp).
  bool write_register(const class CoordinateTransform& transform);
  void add_register_columns();
  // The added columns copied into the closed tables of their shapefile
  // layers; what could not be done, to be said.
  std::vector<std::string> append_register_columns();
  int finish();
  static LayerSizeLimits size_limits();
  // The working files beside the layers' own (the GDAL destination's, the
  // list of the register's columns), for removal on a signal.
  std::vector<std::string> extra_work_paths() const;

  const Options& options_;
  const CoordinateTransform transform_;
  InputFile input_;
  std::string base_;  // the layers' base name
  FilePtr run_log_;
  ErrorLog error_log_;  // what this run appends to the user's error log
  Layer parcels_;
  Layer buildings_;
  Layer point_layer_;
  Layer precincts_;
  std::unique_ptr<GdalDestination> gdal_;
  std::string gdal_error_;  // what failed in the GDAL destination after its layers were written
  TextEncoding encoding_ = TextEncoding::kIso8859_2;
  bool easting_first_ = false;
  bool limit_failed_ = false;  // a layer would pass the format's size limit
  PointTable points_;
  std::vector<WrittenPair> inline_pairs_;
  RunReport report_;
  // The whole register: its own layers and tables, and the cells added to
  // the parcel, building, point and precinct layers.
  std::vector<std::unique_ptr<RegisterTable>> register_tables_;
  struct AddedColumns {
    Layer* layer = nullptr;
    LayerKind kind = LayerKind::kParcel;  // the layer in a GDAL destination
    std::vector<Column> columns;
    std::string cells;  // the added cells of every record, as the table holds them
    std::vector<std::vector<std::string>> values;  // the same cells whole, for GDAL
    int64_t rows = 0;
  };
  std::vector<AddedColumns> added_columns_;
  // The boundary-point layer; false (and said) when it would pass the
  // format's size limit.
  bool write_point_records();
  // The same with the register's cells after each point's own; what the
  // size limit stopped, empty when nothing.
  std::string point_records(const TrailingCells& trailing);
  // With --all: the columns added to the point layer's table, and its
  // records written on a thread of their own from the cells the
  // register's pass puts into point_feed_.
  void start_point_writer(const std::vector<Column>& columns);
  // Where the objects written to the parcel, building and precinct layers
  // begin in the input, in file order: the rows the register adds to.
  std::vector<uint64_t> written_heads_;
  // Where the points of the point table begin in the input (--all).
  std::vector<uint64_t> point_heads_;
  // The census of the whole register, taken by the collecting pass (--all);
  // not whole in a file that the two readings take differently.
  RegisterCensus census_;
  bool census_whole_ = true;
  // The list of the register's columns under its working name, renamed to
  // <base>_fields.csv when the layers are.
  std::string fields_csv_work_;
  std::unique_ptr<CellFeed> point_feed_;
  std::string point_limit_failure_;
  // Last: joined before anything it writes from is gone.
  FeedReader point_writer_;
};

// The number of threads a run uses: the option, or the machine's cores.
int run_threads(const Options& options);

}  // namespace egib
