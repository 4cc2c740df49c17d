#include "layers/layer_records.h"

#include <shapefil.h>

#include <cstdio>
#include <cstring>

#include "layers/layer_files.h"
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

LayerRecordWriter::FileSizes& LayerRecordWriter::sizes_of(Layer& layer) {
  FileSizes& sizes = &layer == &buildings_   ? building_sizes_
                     : &layer == &precincts_ ? precinct_sizes_
                                             : parcel_sizes_;
  if (sizes.shp == 0) {
    // The headers: 100 bytes of the .shp; 32 bytes, 32 a field and the end
    // mark of the .dbf's field list, and its end-of-file byte.
    sizes.shp = 100;
    sizes.dbf = 32 + 32 * static_cast<uint64_t>(DBFGetFieldCount(layer.dbf())) + 1 + 1;
  }
  return sizes;
}

// Whether the object's shape and record keep the layer's files within the
// format's limit; counts what they take when they do.
bool LayerRecordWriter::fits(Layer& layer, const RecordTuple& tuple, const AssembledObject& o) {
  FileSizes& sizes = sizes_of(layer);
  const uint64_t parts = o.part_count > 1 ? o.part_count : 1;
  // Record header, type, box, counts, part starts, points.
  const uint64_t shape_bytes = 8 + 4 + 32 + 8 + 4 * parts + 16 * uint64_t{o.vertex_count};
  const uint64_t record_bytes = tuple.length();
  const bool shp_over = sizes.shp + shape_bytes > limits_.most;
  if (shp_over || sizes.dbf + record_bytes > limits_.most) {
    limit_failure_ = layer.final_base() + (shp_over ? ".shp" : ".dbf") +
                     " would pass 4 GiB, the most the shapefile format can hold, at record " +
                     std::to_string(DBFGetRecordCount(layer.dbf()) + 1) +
                     "; no layer is written (split the input, or write a format without "
                     "that limit: -f GPKG)";
    return false;
  }
  sizes.shp += shape_bytes;
  sizes.dbf += record_bytes;
  const auto warn = [&](bool& warned, uint64_t size, const char* extension) {
    if (!warned && size > limits_.warn_past) {
      warned = true;
      counts_.large_files.push_back(layer.final_base() + extension);
    }
  };
  warn(sizes.warned_shp, sizes.shp, ".shp");
  warn(sizes.warned_dbf, sizes.dbf, ".dbf");
  return true;
}

bool LayerRecordWriter::write(const ObjectBatch& batch) {
  if (!limit_failure_.empty()) return false;
  // The identifier counts are looked up a few objects ahead.
  constexpr size_t kAhead = 8;
  const auto& objects = batch.objects;
  for (size_t i = 0; i < objects.size(); ++i) {
    if (i + kAhead < objects.size()) {
      const AssembledObject& later = objects[i + kAhead];
      (later.kind == ObjectKind::kBuilding ? building_ids_ : parcel_ids_)
          .prefetch(later.ident_hash);
    }
    if (!write_one(batch, objects[i])) return false;
  }
  return true;
}

bool LayerRecordWriter::write_one(const ObjectBatch& batch, const AssembledObject& o) {
  const bool precinct = o.kind == ObjectKind::kPrecinct;
  const bool building = o.kind == ObjectKind::kBuilding;
  Layer& layer = building ? buildings_ : precinct ? precincts_ : parcels_;
  const RecordTuple& tuple = building   ? building_record_
                             : precinct ? precinct_record_
                                        : parcel_record_;
  if (!fits(layer, tuple, o)) return false;
  const int r = DBFGetRecordCount(layer.dbf());

  // The record as the worker made it, with its running number.
  char record[512];
  std::memcpy(record, batch.tuples.data() + o.tuple_begin, o.tuple_length);
  tuple.put_integer(
      record, precinct ? static_cast<int>(kPrecinctFieldId) : static_cast<int>(kFieldId), r + 1);
  // Stored whole after the last record (the library's own path blanks a
  // new record byte by byte before copying it in).
  const auto length = static_cast<size_t>(layer.dbf()->nRecordLength);
  if (length > sizeof record || !append_dbase_records(layer.dbf(), {record, length})) {
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
    return true;
  }
  if (precinct) {
    ++counts_.precincts_written;
    return true;
  }
  ++(building ? counts_.buildings_written : counts_.parcels_written);
  counts_.vertices_written += o.vertex_count;
  if (o.degenerate) ++counts_.degenerate_outlines;
  const std::string_view ident = batch.ident(o);
  if (!ident.empty() && (building ? building_ids_ : parcel_ids_).add(ident, o.ident_hash) == 2) {
    ++(building ? counts_.duplicate_building_ids : counts_.duplicate_parcel_ids);
  }
  return true;
}

}  // namespace egib
