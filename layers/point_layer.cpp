#include "layers/point_layer.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "geodesy/transform.h"
#include "layers/record_writer.h"
#include "swde/point_entry.h"

namespace egib {

namespace {

struct ShapeDestroyer {
  void operator()(SHPObject* o) const noexcept { SHPDestroyObject(o); }
};

}  // namespace

int64_t write_point_layer(const Array& points, Layer& layer, int input_system, int output_system,
                          int variant) {
  const auto n = static_cast<size_t>(points.length);
  const auto entry = [&](size_t i) -> const PointEntry& {
    return *static_cast<const PointEntry*>(points.data[i].ptr);
  };
  std::vector<double> x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = entry(i).x;
    y[i] = entry(i).y;
  }
  transform_vertices(x, y, input_system, output_system, variant);

  int64_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    const PointEntry& p = entry(i);
    const int r = DBFGetRecordCount(layer.dbf());
    RecordWriter record(layer, r);
    record.integer(kPointFieldId, r + 1);
    record.text(kPointFieldIdp, p.id);
    record.text(kPointFieldKlucz, p.alt_id);
    record.text(kPointFieldNrp, p.g5nrp);
    record.text(kPointFieldOzr, p.g5ozr);
    record.integer(kPointFieldStb, p.g5stb);
    record.integer(kPointFieldZrd, p.g5zrd);
    record.integer(kPointFieldBpp, p.g5bpp);
    record.integer(kPointFieldRzg, p.g5rzg);
    record.text(kPointFieldRkrg, p.g5rkrg);
    const std::unique_ptr<SHPObject, ShapeDestroyer> shape(
        SHPCreateSimpleObject(SHPT_POINT, 1, &x[i], &y[i], nullptr));
    if (!shape || SHPWriteObject(layer.shp(), -1, shape.get()) < 0) {
      std::fprintf(stderr, "egib2shp: cannot write point %d of %s.shp\n", r + 1,
                   layer.final_base().c_str());
      layer.note_write_failure();
      continue;
    }
    ++written;
  }
  return written;
}

}  // namespace egib
