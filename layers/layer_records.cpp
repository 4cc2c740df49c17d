#include "layers/layer_records.h"

#include <shapefil.h>

#include <cstdio>
#include <cstring>

#include "layers/record_writer.h"

namespace egib {

uint32_t IdentifierCounter::add(std::string_view key, uint64_t h) {
  if ((used_ + 1) * 4 > slots_.size() * 3) grow();
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
  // The identifier counts are looked up a few objects ahead.
  constexpr size_t kAhead = 8;
  const auto& objects = batch.objects;
  for (size_t i = 0; i < objects.size(); ++i) {
    if (i + kAhead < objects.size()) {
      const AssembledObject& later = objects[i + kAhead];
      (later.kind == ObjectKind::kBuilding ? building_ids_ : parcel_ids_)
          .prefetch(later.ident_hash);
    }
    write_one(batch, objects[i]);
  }
}

void LayerRecordWriter::write_one(const ObjectBatch& batch, const AssembledObject& o) {
  const bool precinct = o.kind == ObjectKind::kPrecinct;
  const bool building = o.kind == ObjectKind::kBuilding;
  Layer& layer = building ? buildings_ : precinct ? precincts_ : parcels_;
  const RecordTuple& tuple = building   ? building_record_
                             : precinct ? precinct_record_
                                        : parcel_record_;
  const int r = DBFGetRecordCount(layer.dbf());

  // The record as the worker made it, with its running number.
  char record[512];
  std::memcpy(record, batch.tuples.data() + o.tuple_begin, o.tuple_length);
  tuple.put_integer(
      record, precinct ? static_cast<int>(kPrecinctFieldId) : static_cast<int>(kFieldId), r + 1);
  if (!DBFWriteTuple(layer.dbf(), r, record)) {
    std::fprintf(stderr, "egib2shp: cannot write record %d of %s.dbf\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
  }
  if (o.deferred_count > 0) {
    RecordWriter writer(layer, r);
    for (uint32_t i = 0; i < o.deferred_count; ++i) {
      const RecordTuple::Deferred& d = batch.deferred[o.deferred_begin + i];
      if (d.real) {
        writer.real(d.field, d.real_value);
      } else {
        writer.integer(d.field, d.integer_value);
      }
    }
  }

  // The shape as the library would make it: one ring from vertex 0 unless
  // there are several (the worker set the first to start at vertex 0), no
  // Z or M.
  if (zeros_.size() < o.vertex_count) zeros_.resize(o.vertex_count);
  int one_ring_start = 0;
  int one_ring_type = SHPP_RING;
  const bool with_parts = o.part_count > 1;
  SHPObject shape{};
  shape.nSHPType = SHPT_POLYGON;
  shape.nShapeId = -1;
  shape.nParts = with_parts ? static_cast<int>(o.part_count) : 1;
  shape.panPartStart =
      with_parts ? const_cast<int*>(&batch.part_start[o.part_begin]) : &one_ring_start;
  shape.panPartType =
      with_parts ? const_cast<int*>(&batch.part_type[o.part_begin]) : &one_ring_type;
  shape.nVertices = static_cast<int>(o.vertex_count);
  shape.padfX = const_cast<double*>(&batch.x[o.vertex_begin]);
  shape.padfY = const_cast<double*>(&batch.y[o.vertex_begin]);
  shape.padfZ = zeros_.data();
  shape.padfM = zeros_.data();
  SHPComputeExtents(&shape);
  if (SHPWriteObject(layer.shp(), -1, &shape) < 0) {
    std::fprintf(stderr, "egib2shp: cannot write shape %d of %s.shp\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
    return;
  }
  if (precinct) {
    ++counts_.precincts_written;
    return;
  }
  ++(building ? counts_.buildings_written : counts_.parcels_written);
  counts_.vertices_written += o.vertex_count;
  if (o.degenerate) ++counts_.degenerate_outlines;
  const std::string_view ident = batch.ident(o);
  if (!ident.empty() && (building ? building_ids_ : parcel_ids_).add(ident, o.ident_hash) == 2) {
    ++(building ? counts_.duplicate_building_ids : counts_.duplicate_parcel_ids);
  }
}

}  // namespace egib
