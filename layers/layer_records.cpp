#include "layers/layer_records.h"

#include <shapefil.h>

#include <cstdio>
#include <memory>

#include "layers/record_writer.h"
#include "swde/line_reader.h"

namespace egib {

namespace {

struct ShapeDestroyer {
  void operator()(SHPObject* o) const noexcept { SHPDestroyObject(o); }
};
using ShapePtr = std::unique_ptr<SHPObject, ShapeDestroyer>;

// Characters first .. last (counted from 1) of an identifier; shorter when
// the identifier is, empty when it ends before first.
std::string_view slice(std::string_view ident, size_t first, size_t last = std::string::npos) {
  if (ident.size() < first) return {};
  const size_t end = last == std::string::npos ? ident.size() : std::min(ident.size(), last);
  return ident.substr(first - 1, end - (first - 1));
}

uint64_t text_hash(std::string_view s) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  return h ^ (h >> 29);
}

}  // namespace

uint32_t IdentifierCounter::add(std::string_view key) {
  if ((used_ + 1) * 4 > slots_.size() * 3) grow();
  const uint64_t h = text_hash(key);
  const size_t mask = slots_.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    Slot& s = slots_[i];
    if (s.count == 0) {
      s = {h, static_cast<uint32_t>(text_.size()), static_cast<uint16_t>(key.size()), 1};
      text_ += key;
      ++used_;
      return 1;
    }
    if (s.hash == h && std::string_view(text_).substr(s.text_at, s.length) == key) return ++s.count;
  }
}

void IdentifierCounter::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
  const size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.count == 0) continue;
    for (size_t i = s.hash & mask;; i = (i + 1) & mask) {
      if (slots_[i].count == 0) {
        slots_[i] = s;
        break;
      }
    }
  }
}

void LayerRecordWriter::write(const ObjectBatch& batch) {
  for (const AssembledObject& o : batch.objects) write_one(batch, o);
}

void LayerRecordWriter::write_one(const ObjectBatch& batch, const AssembledObject& o) {
  Layer& layer = o.kind == ObjectKind::kBuilding   ? buildings_
                 : o.kind == ObjectKind::kPrecinct ? precincts_
                                                   : parcels_;
  const int r = DBFGetRecordCount(layer.dbf());
  RecordWriter record(layer, r);
  const std::string_view ident = batch.attribute(o, 0);
  if (o.kind == ObjectKind::kPrecinct) {
    record.integer(kPrecinctFieldId, r + 1);
    record.text(kPrecinctFieldIdr, ident);
    record.text(kPrecinctFieldNro, batch.attribute(o, 1));
    record.text(kPrecinctFieldNaz, batch.attribute(o, 2));
  } else {
    record.integer(kFieldId, r + 1);
    record.text(kFieldIdent, ident);
    record.integer(kFieldKodWoj, to_long(slice(ident, 1, 2)));
    record.integer(kFieldKodPow, to_long(slice(ident, 1, 4)));
    record.text(kFieldKodGmi, slice(ident, 1, 8));
    record.text(kFieldKodObr, slice(ident, 1, 13));
    record.text(kFieldObr, slice(ident, 10, 13));
    if (o.kind == ObjectKind::kBuilding) {
      record.integer(kFieldFunkcja, to_long(batch.attribute(o, 1)));
    } else {
      record.text(kFieldDnr, slice(ident, 15));
    }
  }

  const bool with_parts = o.part_count > 1;
  const auto* x = &batch.x[o.vertex_begin];
  const auto* y = &batch.y[o.vertex_begin];
  const ShapePtr shape(SHPCreateObject(
      SHPT_POLYGON, -1, with_parts ? static_cast<int>(o.part_count) : 0,
      with_parts ? &batch.part_start[o.part_begin] : nullptr,
      with_parts ? &batch.part_type[o.part_begin] : nullptr, static_cast<int>(o.vertex_count), x, y,
      nullptr, nullptr));
  if (!shape) {
    std::fprintf(stderr, "egib2shp: cannot create shape %d of %s.shp\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
    return;
  }
  record.real(o.kind == ObjectKind::kPrecinct ? static_cast<int>(kPrecinctFieldPow)
                                              : static_cast<int>(kFieldPow),
              o.area);
  if (SHPWriteObject(layer.shp(), -1, shape.get()) < 0) {
    std::fprintf(stderr, "egib2shp: cannot write shape %d of %s.shp\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
    return;
  }
  if (o.kind == ObjectKind::kPrecinct) {
    ++counts_.precincts_written;
    return;
  }
  const bool building = o.kind == ObjectKind::kBuilding;
  ++(building ? counts_.buildings_written : counts_.parcels_written);
  counts_.vertices_written += o.vertex_count;
  if (o.degenerate) ++counts_.degenerate_outlines;
  if (!ident.empty() && (building ? building_ids_ : parcel_ids_).add(ident) == 2) {
    ++(building ? counts_.duplicate_building_ids : counts_.duplicate_parcel_ids);
  }
}

}  // namespace egib
