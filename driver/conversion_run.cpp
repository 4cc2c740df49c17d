#include "driver/conversion_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "diag/file_system.h"
#include "driver/driver.h"
#include "driver/interrupts.h"
#include "driver/progress.h"
#include "geodesy/prj_wkt.h"
#include "geodesy/system_area.h"
#include "geodesy/transform.h"
#include "layers/layer_records.h"
#include "layers/point_layer.h"
#include "swde/collect_pass.h"
#include "swde/file_grammar.h"
#include "swde/segmented_pass.h"
#include "swde/write_pass.h"

namespace egib {

namespace {

// Parts of a few megabytes: enough of them to keep every thread busy,
// small enough that the results held for the writer stay small.
constexpr size_t kPartBytes = size_t{4} << 20;

std::string encoding_option_name(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kWindows1250:
      return "windows-1250";
    case TextEncoding::kUtf8:
      return "utf-8";
    default:
      return "iso-8859-2";
  }
}

// The first characters of a line as they can be shown on a terminal.
std::string printable_prefix(std::string_view text, size_t count) {
  std::string shown;
  for (const char c : text.substr(0, count)) {
    if (c == '\n' || c == '\r') break;
    const auto u = static_cast<unsigned char>(c);
    shown += (u < 0x20 || u == 0x7F) ? '?' : c;
  }
  return shown;
}

}  // namespace

int run_threads(const Options& options) {
  if (options.threads > 0) return options.threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 64U));
}

ConversionRun::ConversionRun(const Options& options, InputFile input)
    : options_(options),
      transform_(options.input_system, options.output_system, options.variant),
      input_(std::move(input)) {
  report_.input_path = options.input;
  report_.input_bytes = input_.size();
  report_.input_system = options.input_system;
  report_.output_system = options.output_system;
  report_.variant = options.variant;
  report_.points_layer = options.points || options.all;
  report_.precinct_layer = options.precincts || options.all;
  report_.outlines_validated = options.validate;
  report_.run_log_path = options.log_path;
  report_.error_log_path = error_log_path();
}

std::vector<Layer*> ConversionRun::layers() {
  std::vector<Layer*> created;
  for (Layer* layer : {&parcels_, &buildings_, &point_layer_, &precincts_}) {
    if (layer->created()) created.push_back(layer);
  }
  for (const auto& table : register_tables_) {
    if (table->layer().created()) created.push_back(&table->layer());
  }
  return created;
}

// Says what failed, on stderr and in the report.
int ConversionRun::failed(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  if (report_.error.empty()) report_.error = message;
  return 1;
}

bool ConversionRun::open_outputs() {
  base_ = layer_base_for(options_);
  if (!options_.output_dir.empty()) {
    if (!make_directories(options_.output_dir)) {
      failed("egib2shp: cannot create the output directory " + options_.output_dir + ": " +
             (errno == ENOTDIR ? std::string("a file of that name is in the way")
                               : std::string(std::strerror(errno))));
      return false;
    }
  }
  run_log_ = open_file(options_.log_path, "wb");
  if (!run_log_) {
    failed("nie moge otworzyc pliku " + options_.log_path);
    return false;
  }
  if (!shapefile_output(options_)) return open_gdal_output();
  // The layers, and beside each its coordinate system when it is one this
  // program knows (the output system of a conversion, else the input one).
  struct Wanted {
    Layer* layer;
    const char* suffix;
    LayerKind kind;
    bool wanted;
  };
  const Wanted wanted[] = {
      {&parcels_, "_DZE", LayerKind::kParcel, true},
      {&buildings_, "_BUD", LayerKind::kBuilding, true},
      {&point_layer_, "_PKT", LayerKind::kPoint, options_.points || options_.all},
      {&precincts_, "_OBR", LayerKind::kPrecinct, options_.precincts || options_.all},
  };
  const std::string_view wkt = esri_wkt_of_system(transform_.written_system());
  std::string error;
  for (const Wanted& w : wanted) {
    if (!w.wanted) continue;
    if (!w.layer->create(base_ + w.suffix, w.kind, &error) ||
        (!wkt.empty() && !w.layer->write_side_file(".prj", wkt, &error))) {
      for (Layer* layer : layers()) layer->discard();
      failed("egib2shp: " + error);
      return false;
    }
  }
  return true;
}

// Every layer in one destination of a GDAL format.
bool ConversionRun::open_gdal_output() {
  GdalTarget target;
  target.format = options_.format;
  target.file_base = base_;
  target.connection = options_.destination;
  target.schema = options_.schema;
  target.existing = options_.overwrite ? ExistingTables::kOverwrite
                    : options_.append  ? ExistingTables::kAppend
                                       : ExistingTables::kError;
  target.epsg = epsg_of_system(transform_.written_system());
  target.source = std::filesystem::path(options_.input).filename().string();
  target.to_utf8 = cp1250_to_utf8;
  std::vector<LayerKind> kinds = {LayerKind::kParcel, LayerKind::kBuilding};
  // --all writes the boundary points and precincts too, as the shapefiles.
  if (options_.points || options_.all) kinds.push_back(LayerKind::kPoint);
  if (options_.precincts || options_.all) kinds.push_back(LayerKind::kPrecinct);
  std::string error;
  gdal_ = open_gdal_destination(target, kinds, &error);
  if (!gdal_) {
    failed("egib2shp: " + error);
    return false;
  }
  return true;
}

// The code page of the input's texts: given, or told from its bytes.
void ConversionRun::settle_encoding() {
  switch (options_.encoding) {
    case EncodingChoice::kIso8859_2:
      encoding_ = TextEncoding::kIso8859_2;
      break;
    case EncodingChoice::kWindows1250:
      encoding_ = TextEncoding::kWindows1250;
      break;
    case EncodingChoice::kUtf8:
      encoding_ = TextEncoding::kUtf8;
      break;
    case EncodingChoice::kAuto:
      encoding_ = detect_encoding(input_.bytes(), run_threads(options_));
      break;
  }
  report_.encoding = encoding_option_name(encoding_);
  report_.encoding_told = options_.encoding == EncodingChoice::kAuto;
}

void ConversionRun::collect() {
  const std::span<const char> bytes = input_.bytes();
  const Header header = read_header(bytes, encoding_);
  MessageBuffer header_out;
  header_messages(header, header_out);
  header_out.replay(0, stdout, run_log_.get(), error_log_);
  if (!header.present) return;

  PassProgress progress("reading points", input_.size(), stderr_is_terminal());
  const bool keep_attributes = options_.points || options_.all;
  // A point takes some 24 bytes of the file at least ("RP,,G5PZG,a,",
  // "P,G,0,0", "X"): room for as many as the file can hold, which costs
  // nothing until used, spares the copies of a growing table.
  points_.reserve(bytes.size() / 24, bytes.size() / 2, keep_attributes);
  if (options_.all) point_heads_.reserve(bytes.size() / 24);
  run_in_parts<CollectedPart>(
      bytes, header.next, encoding_, run_threads(options_), kPartBytes,
      [&](LineReader& in, Line& line, GrammarState state, CollectedPart& part) {
        CollectPass pass(part, keep_attributes, options_.all, options_.all);
        return walk_sections(in, line, state, pass, part.messages);
      },
      [&](CollectedPart& part, int32_t line_base, size_t position) {
        part.messages.replay(line_base, stdout, run_log_.get(), error_log_);
        points_.append(part.points);
        point_heads_.insert(point_heads_.end(), part.point_heads.begin(), part.point_heads.end());
        if (options_.all) {
          census_.merge(part.census);
          census_whole_ = census_whole_ && part.census_whole;
        }
        for (const WrittenPair& p : part.inline_pairs) {
          if (inline_pairs_.size() >= CollectedPart::kInlineSample) break;
          inline_pairs_.push_back(p);
        }
        report_.stats.outlines.add(part.stats);
        progress.update(position);
      });
  progress.finish();
  report_.stats.points_collected = static_cast<int64_t>(points_.size());
  if (!header.accepted) {
    std::fprintf(stderr,
                 "egib2shp: the first line is not an SWDE header (SWDE.w.2.00 or SWDE.w.3.00), "
                 "so no object is written: \"%s\"\n",
                 printable_prefix(header.text, 40).c_str());
  }
}

// Decides whether the coordinate pairs of the file put the easting first
// and, if so, turns the collected points around; the writing pass then
// reads every inline pair the same way.
void ConversionRun::settle_axis_order() {
  bool easting_first = options_.axes == AxisChoice::kEastingFirst;
  if (options_.axes == AxisChoice::kAuto) {
    const std::optional<GridExtent> area = system_extent(options_.input_system);
    if (!area) return;
    // The points as written (northing first as read), or, in a file
    // without point objects, the sample of inline vertices.
    AxisVote vote;
    for (size_t i = 0; i < points_.size(); ++i) {
      if (points_.has_coordinates(i)) vote.count(*area, points_.y(i), points_.x(i));
    }
    if (points_.size() == 0) vote = count_axis_votes(*area, inline_pairs_);
    easting_first = pairs_are_easting_first(vote);
    if (easting_first) {
      std::fprintf(stderr,
                   "egib2shp: coordinate pairs read easting first (EN): %lld of %lld lie in the "
                   "area of %s read that way, %lld read northing first (--axes=NE keeps the "
                   "northing first)\n",
                   static_cast<long long>(vote.inside_easting_first),
                   static_cast<long long>(vote.pairs), system_name(options_.input_system).c_str(),
                   static_cast<long long>(vote.inside_northing_first));
    }
  }
  if (!easting_first) return;
  easting_first_ = true;
  points_.swap_axes();
}

void ConversionRun::write_objects(const CoordinateTransform& transform) {
  const std::span<const char> bytes = input_.bytes();
  const Header header = read_header(bytes, encoding_);
  MessageBuffer header_out;
  header_messages(header, header_out);
  header_out.replay(0, stdout, run_log_.get(), error_log_);
  if (!header.accepted) return;  // nothing is written

  PassProgress progress("writing layers", input_.size(), stderr_is_terminal());
  LayerRecordWriter writer(parcels_, buildings_, precincts_, size_limits());
  const bool precincts = precincts_.created() || (gdal_ && (options_.precincts || options_.all));
  run_in_parts<WrittenPart>(
      bytes, header.next, encoding_, run_threads(options_), kPartBytes,
      [&](LineReader& in, Line& line, GrammarState state, WrittenPart& part) {
        ObjectAssembly assembly(points_, transform, ConversionCache::for_this_thread(transform),
                                easting_first_, precincts);
        if (options_.validate) {
          assembly.check_outlines(options_.make_valid ? OutlineCheck::kMakeValid
                                                      : OutlineCheck::kValidate);
        }
        WritePass pass(part, assembly);
        const GrammarEnd end = walk_sections(in, line, state, pass, part.messages);
        part.stats = assembly.stats;
        part.objects_without_vertex = assembly.objects_without_vertex;
        return end;
      },
      [&](WrittenPart& part, int32_t line_base, size_t position) {
        part.messages.replay(line_base, stdout, run_log_.get(), error_log_);
        bool written = true;
        if (gdal_) {
          gdal_->write(part.objects);
        } else {
          written = writer.write(part.objects);
        }
        if (options_.all) {
          for (const AssembledObject& o : part.objects.objects)
            written_heads_.push_back(o.head_offset);
        }
        report_.stats.outlines.add(part.stats);
        report_.stats.objects_without_vertex += part.objects_without_vertex;
        progress.update(position);
        if (!written) {
          // Said once; the pass stops here and the run fails.
          limit_failed_ = true;
          failed("egib2shp: " + writer.limit_failure());
        }
        return written;
      });
  progress.finish();
  report_.stats.written = gdal_ ? gdal_->counts() : writer.counts();
}

int ConversionRun::execute() {
  const auto started = std::chrono::steady_clock::now();

  const int status = run_stages();
  report_.error_log_messages = error_log_.messages();
  if (report_.error_log_messages > 0) report_.error_log_path = error_log_.written_path();
  report_.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return status;
}

int ConversionRun::run_stages() {
  if (!open_outputs()) return 1;
  remove_work_files_on_signals(layers(), extra_work_paths());
  transform_.announce(stderr);
  settle_encoding();
  report_.passes_ran = true;
  collect();
  settle_axis_order();
  report_.axis_order = easting_first_ ? "EN" : "NE";
  report_.axis_order_told = easting_first_ && options_.axes == AxisChoice::kAuto;

  const int threads = run_threads(options_);
  points_.build_indexes(threads);
  convert_points(points_, transform_, threads);
  // With --all the point layer is written after the register's pass, so
  // that each record takes the register's columns when it is first written
  // (a county's point table is hundreds of megabytes: copied once more to
  // add columns, it cost more than the register itself).
  const bool points_after_register = options_.all && !gdal_;
  if (point_layer_.created() && !points_after_register && !write_point_records()) {
    points_ = PointTable();
    return finish();
  }
  if (gdal_ && (options_.points || options_.all)) {
    report_.stats.points_written = gdal_->write_points(points_, transform_, stdout);
  }
  write_objects(transform_);
  if (options_.all && !write_register(transform_)) {
    point_writer_.abandon();
    for (Layer* layer : layers()) layer->discard();
    if (!fields_csv_work_.empty()) remove_file(fields_csv_work_);
    points_ = PointTable();
    return 1;
  }
  if (point_writer_.running()) {
    // The parcel, building and precinct layers are complete: the columns
    // added to them are copied in while the point layer's thread ends (with
    // one thread, before the point layer is written).
    for (const std::string& e : append_register_columns())
      std::fprintf(stderr, "egib2shp: %s\n", e.c_str());
    point_writer_.join();
    if (point_feed_->rows_put() != point_feed_->rows()) {
      std::fprintf(stderr,
                   "egib2shp: the records of %s.dbf (%lld) are not the objects read again (%lld): "
                   "its columns are not filled\n",
                   point_layer_.final_base().c_str(), static_cast<long long>(point_feed_->rows()),
                   static_cast<long long>(point_feed_->rows_put()));
      point_layer_.note_write_failure();
    }
    if (!point_limit_failure_.empty()) {
      limit_failed_ = true;
      failed("egib2shp: " + point_limit_failure_);
    }
  } else if (point_layer_.created() && points_after_register) {
    write_point_records();  // a size limit it would pass is said, and fails the run
  }
  points_ = PointTable();
  return finish();
}

std::vector<std::string> ConversionRun::extra_work_paths() const {
  std::vector<std::string> paths = gdal_ ? gdal_->work_paths() : std::vector<std::string>{};
  if (!fields_csv_work_.empty()) paths.push_back(fields_csv_work_);
  return paths;
}

bool ConversionRun::write_point_records() {
  const std::string limit_failure = point_records(TrailingCells{});
  if (limit_failure.empty()) return true;
  limit_failed_ = true;
  failed("egib2shp: " + limit_failure);
  return false;
}

std::string ConversionRun::point_records(const TrailingCells& trailing) {
  std::string limit_failure;
  report_.stats.points_written = write_point_layer(
      points_, transform_, point_layer_, stdout, error_log_, &report_.stats.outlines.texts_cut,
      size_limits(), &limit_failure, trailing, run_threads(options_) > 1);
  return limit_failure;
}

void ConversionRun::start_point_writer(const std::vector<Column>& columns) {
  std::string error;
  if (!add_columns_before_records(point_layer_, columns, &error)) {
    // The layer is written after the register without them; the run fails.
    std::fprintf(stderr, "egib2shp: %s\n", error.c_str());
    point_layer_.note_write_failure();
    return;
  }
  point_feed_ = std::make_unique<CellFeed>(points_.size(), cells_width(columns));
  // With one thread the layer is written after the register's pass.
  point_writer_.start(
      *point_feed_,
      [this] {
        TrailingCells trailing;
        trailing.cells = point_feed_->cells();
        trailing.width = point_feed_->width();
        trailing.wait_until = [this](size_t n) { return point_feed_->wait_until(n); };
        point_limit_failure_ = point_records(trailing);
      },
      run_threads(options_) > 1);
}

// The format's size limits; a test can make them small
// (EGIB_TEST_LAYER_LIMITS=MOST,WARN in bytes) instead of writing gigabytes.
LayerSizeLimits ConversionRun::size_limits() {
  LayerSizeLimits limits;
  if (const char* test = std::getenv("EGIB_TEST_LAYER_LIMITS"); test != nullptr) {
    unsigned long long most = 0, warn = 0;
    if (std::sscanf(test, "%llu,%llu", &most, &warn) == 2) {
      limits.most = most;
      limits.warn_past = warn;
    }
  }
  return limits;
}

int ConversionRun::finish() {
  int status = limit_failed_ ? 1 : 0;
  const std::vector<Layer*> written = layers();
  for (Layer* layer : written) layer->close();
  add_register_columns();
  if (!gdal_error_.empty()) status = failed("egib2shp: " + gdal_error_);
  for (Layer* layer : written) {
    if (layer->write_failed()) status = failed("egib2shp: cannot write " + layer->final_base());
  }
  // The first layer whose files could not be written is named (a full disk
  // fails them all alike).
  for (const Layer* layer : written) {
    if (!layer->io_failure().empty()) {
      status = failed("egib2shp: " + layer->io_failure());
      break;
    }
  }
  // From here on the working files are renamed or removed by the run itself.
  default_signals();
  std::string error;
  for (Layer* layer : written) {
    if (status == 0 && !layer->commit(&error)) status = failed("egib2shp: " + error);
  }
  if (gdal_) {
    if (status == 0 && !gdal_->commit(&error)) status = failed("egib2shp: " + error);
    if (status != 0) {
      gdal_->discard();
    } else {
      for (const std::string& note : gdal_->notes()) {
        std::fprintf(stderr, "egib2shp: %s\n", note.c_str());
      }
      report_.files.push_back(gdal_->destination_name());
    }
  }
  if (status == 0 && !fields_csv_work_.empty()) {
    const std::string final_name = base_ + "_fields.csv";
    if (!replace_file(fields_csv_work_, final_name)) {
      status = failed("egib2shp: cannot rename " + fields_csv_work_ + " to " + final_name + ": " +
                      std::strerror(errno));
    }
  }
  if (status != 0) {
    for (Layer* layer : written) layer->discard();
    if (!fields_csv_work_.empty()) remove_file(fields_csv_work_);
  } else {
    for (const Layer* layer : written) {
      for (std::string& f : layer->final_files()) report_.files.push_back(std::move(f));
    }
    if (!fields_csv_work_.empty()) {
      report_.fields_list = base_ + "_fields.csv";
      report_.files.push_back(report_.fields_list);
    }
  }

  std::printf("faza10");
  std::fputs("KONIEC\n", run_log_.get());
  if (std::fclose(run_log_.release()) != 0) {
    status = failed("egib2shp: cannot write " + options_.log_path);
  }
  std::printf("KONIEC\n");
  if (std::fflush(stdout) != 0) status = 1;
  return status;
}

}  // namespace egib
