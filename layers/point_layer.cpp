#include "layers/point_layer.h"

#include <memory>

#include "layers/record_writer.h"

namespace egib {

namespace {

struct ShapeDestroyer {
  void operator()(SHPObject* o) const noexcept { SHPDestroyObject(o); }
};

}  // namespace

int64_t write_point_layer(const PointTable& points, const CoordinateTransform& transform,
                          Layer& layer, std::FILE* console) {
  int64_t written = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    double x = points.x(i);
    double y = points.y(i);
    if (const PointTable::Warned* w = points.warned(i)) {
      // Converted again from the coordinates read, to give its warnings.
      x = w->x;
      y = w->y;
      AreaWarnings warnings;
      transform.convert(x, y, warnings);
      print_area_warnings(warnings, console);
    }
    const int r = DBFGetRecordCount(layer.dbf());
    RecordWriter record(layer, r);
    record.integer(kPointFieldId, r + 1);
    record.text(kPointFieldIdp, points.id(i));
    record.text(kPointFieldKlucz, points.alt_id(i));
    if (points.has_attributes()) {
      const PointAttributes& a = points.attributes(i);
      record.text(kPointFieldNrp, points.nrp(i));
      record.text(kPointFieldOzr, points.ozr(i));
      record.integer(kPointFieldStb, a.g5stb);
      record.integer(kPointFieldZrd, a.g5zrd);
      record.integer(kPointFieldBpp, a.g5bpp);
      record.integer(kPointFieldRzg, a.g5rzg);
      record.text(kPointFieldRkrg, points.rkrg(i));
    }
    const std::unique_ptr<SHPObject, ShapeDestroyer> shape(
        SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr));
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
