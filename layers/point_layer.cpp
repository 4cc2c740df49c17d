#include "layers/point_layer.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "diag/error_log.h"
#include "layers/layer_files.h"
#include "layers/record_writer.h"

namespace egib {

namespace {

struct ShapeDestroyer {
  void operator()(SHPObject* o) const noexcept { SHPDestroyObject(o); }
};

}  // namespace

std::pair<double, double> written_point(const PointTable& points, size_t i,
                                        const CoordinateTransform& transform, std::FILE* console) {
  double x = points.x(i);
  double y = points.y(i);
  if (const PointTable::Warned* w = points.warned(i)) {
    x = w->x;
    y = w->y;
    AreaWarnings warnings;
    transform.convert(x, y, warnings);
    print_area_warnings(warnings, console);
  }
  return {x, y};
}

int64_t write_point_layer(const PointTable& points, const CoordinateTransform& transform,
                          Layer& layer, std::FILE* console, ErrorLog& error_log, int64_t* texts_cut,
                          const LayerSizeLimits& limits, std::string* limit_failure,
                          const TrailingCells& trailing, bool shapes_beside) {
  // The files' sizes: headers, then 28 bytes a point (12 for a null shape)
  // in the .shp and one record each in the .dbf.  The first point that
  // would take either past the format's limit, and the points after it,
  // are not written.
  const uint64_t fields = static_cast<uint64_t>(DBFGetFieldCount(layer.dbf()));
  uint64_t record_bytes = 1 + trailing.width;
  for (const FieldSpec& f : layer_schema(LayerKind::kPoint))
    record_bytes += static_cast<uint64_t>(f.width);
  size_t stop = points.size();
  bool shp_over = false;
  {
    uint64_t shp_bytes = 100;
    uint64_t dbf_bytes = 32 + 32 * fields + 1 + 1;
    for (size_t i = 0; i < points.size(); ++i) {
      const uint64_t shape_bytes = points.has_coordinates(i) ? 28 : 12;
      shp_over = shp_bytes + shape_bytes > limits.most;
      if (shp_over || dbf_bytes + record_bytes > limits.most) {
        stop = i;
        break;
      }
      shp_bytes += shape_bytes;
      dbf_bytes += record_bytes;
    }
  }

  // The shapes.  A point without coordinates is a null shape: its record
  // stays, and no reader puts it at (0, 0).  The two shapes are made once
  // and the point's place set in one of them: a county has a million
  // points.  (A point's record and the file's bounds are written from its
  // vertex: the object's own extents are not looked at.)
  int64_t written = 0;
  bool shape_failed = false;
  const auto write_shapes = [&] {
    const double origin = 0;
    const std::unique_ptr<SHPObject, ShapeDestroyer> point_shape(
        SHPCreateSimpleObject(SHPT_POINT, 1, &origin, &origin, nullptr));
    const std::unique_ptr<SHPObject, ShapeDestroyer> null_shape(
        SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr));
    if (!point_shape || !null_shape) {
      std::fprintf(stderr, "egib2shp: cannot make the shapes of %s.shp\n",
                   layer.final_base().c_str());
      shape_failed = true;
      return;
    }
    for (size_t i = 0; i < stop; ++i) {
      const auto [x, y] = written_point(points, i, transform, console);
      const bool located = points.has_coordinates(i);
      if (located) {
        point_shape->padfX[0] = x;
        point_shape->padfY[0] = y;
      }
      if (SHPWriteObject(layer.shp(), -1, located ? point_shape.get() : null_shape.get()) < 0) {
        std::fprintf(stderr, "egib2shp: cannot write point %zu of %s.shp\n", i + 1,
                     layer.final_base().c_str());
        shape_failed = true;
        continue;
      }
      ++written;
    }
  };
  // On a thread of their own when asked (the records wait on the cells of
  // another thread; the shapes need nothing but the points).
  std::jthread shapes;
  if (shapes_beside) {
    shapes = std::jthread(write_shapes);
  } else {
    write_shapes();
  }

  // The records.  Each is made whole, and they go to the table in blocks
  // (the library's field-by-field path measured and copied every cell on
  // its own; its record-by-record path blanked each record first).
  bool record_failed = false;
  RecordTuple tuple(LayerKind::kPoint);
  std::string block;  // whole records, made in place
  constexpr size_t kBlockBytes = size_t{256} << 10;
  block.reserve(kBlockBytes + record_bytes);
  int block_first = DBFGetRecordCount(layer.dbf());  // the first record of the block
  int r = block_first;
  const auto store_block = [&] {
    if (block.empty()) return;
    if (!append_dbase_records(layer.dbf(), block)) {
      std::fprintf(stderr, "egib2shp: cannot write records %d to %d of %s.dbf\n", block_first + 1,
                   r, layer.final_base().c_str());
      record_failed = true;
    }
    block.clear();
    block_first = r;
  };
  size_t cells_ready = 0;
  for (size_t i = 0; i < stop; ++i) {
    tuple.start(block);
    tuple.integer(kPointFieldId, r + 1);
    const auto text = [&](int field, std::string_view value) {
      const FieldSpec& f = layer_schema(LayerKind::kPoint)[static_cast<size_t>(field)];
      if (value.size() > static_cast<size_t>(f.width)) {
        error_log.appendf("point '%.*s': %s '%.*s' cut to %d characters\n",
                          static_cast<int>(points.id(i).size()), points.id(i).data(), f.name,
                          static_cast<int>(value.size()), value.data(), f.width);
        ++*texts_cut;
      }
      tuple.text(field, value);
    };
    text(kPointFieldIdp, points.id(i));
    text(kPointFieldKlucz, points.alt_id(i));
    if (points.has_attributes()) {
      const PointAttributes& a = points.attributes(i);
      text(kPointFieldNrp, points.nrp(i));
      text(kPointFieldOzr, points.ozr(i));
      tuple.integer(kPointFieldStb, a.g5stb);
      tuple.integer(kPointFieldZrd, a.g5zrd);
      tuple.integer(kPointFieldBpp, a.g5bpp);
      tuple.integer(kPointFieldRzg, a.g5rzg);
      text(kPointFieldRkrg, points.rkrg(i));
    }
    if (trailing.width > 0) {
      if (i >= cells_ready) {
        cells_ready = trailing.wait_until ? trailing.wait_until(i + 1)
                                          : trailing.cells.size() / trailing.width;
      }
      block.append(trailing.cells.substr(i * trailing.width, trailing.width));
    }
    ++r;
    if (block.size() >= kBlockBytes) store_block();
    if (!tuple.deferred().empty()) {
      // Numbers the library would cut to their cells, as it writes them
      // into the record stored.
      store_block();
      RecordWriter late(layer, r - 1);
      for (const RecordTuple::Deferred& d : tuple.deferred()) {
        if (d.real) {
          late.real(d.field, d.real_value);
        } else {
          late.integer(d.field, d.integer_value);
        }
      }
    }
  }
  store_block();
  if (shapes.joinable()) shapes.join();
  if (shape_failed || record_failed) layer.note_write_failure();
  if (stop < points.size()) {
    *limit_failure = layer.final_base() + (shp_over ? ".shp" : ".dbf") +
                     " would pass 4 GiB, the most the shapefile format can hold, at record " +
                     std::to_string(written + 1) +
                     "; no layer is written (split the input, or write a format without "
                     "that limit: -f GPKG)";
  }
  return written;
}

}  // namespace egib
