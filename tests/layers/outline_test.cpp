// The outline code on its own: geometry lists and kept attributes given as
// plain values, as the SWDE reader hands them over, assembled into rings and
// one record, with what the console and the run log are told.
#include "layers/outline.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstdio>
#include <memory>
#include <string>

#include "diag/error_log.h"

namespace {

using namespace egib;

struct Replayed {
  std::string console, run_log;
};

std::string contents(std::FILE* f) {
  std::string s;
  std::rewind(f);
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
  return s;
}

Replayed replay(const MessageBuffer& messages) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), std::fclose);
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> run_log(std::tmpfile(), std::fclose);
  ErrorLog error_log;
  messages.replay(0, console.get(), run_log.get(), error_log);
  EXPECT_EQ(error_log.messages(), 0u);
  return {contents(console.get()), contents(run_log.get())};
}

struct Assembly {
  Assembly() {
    // A 10 m square's corners: two as point objects, two inline.
    points.add("p1", "", 10.0, 0.0);
    points.add("p2", "k2", 10.0, 10.0);
    points.build_indexes(1);
  }
  PointTable points;
  const CoordinateTransform transform{0, 0, 0};
  ConversionCache cache;
  ObjectAssembly a{points, transform, cache, false, false};
  MessageBuffer messages;
  OutlineReading reading() { return {&points, false, &messages, &a.stats}; }
};

TEST(OutlineAssembly, PlainGeometryListsBecomeClosedOrientedRingsAndOneRecord) {
  Assembly s;
  VertexBuffer& vb = s.a.vb;
  vb.clear();
  // First list: a vertex before the ring start (it belongs to that ring),
  // references by identifier and by the other key, a pair written northing
  // first, and a reference to a point the file lacks.
  vb.list.clear();
  vb.list.add_inline(0.0, 0.0);
  vb.list.add_ring_start(true);
  vb.list.add_reference("p1", false);
  vb.list.add_reference("k2", true);
  vb.list.add_inline(10.0, 0.0);  // northing 10, easting 0
  vb.list.add_reference("missing", false);
  add_geometry_list(vb, s.reading(), 7, false);
  ASSERT_EQ(vb.vertex_count, 4);
  EXPECT_EQ(vb.part_count, 1);
  EXPECT_EQ(vb.part_start[0], 0);
  EXPECT_EQ(vb.source[1], 0);  // p1
  EXPECT_EQ(vb.source[2], 1);  // found by k2
  EXPECT_EQ(vb.source[3], -1);
  EXPECT_DOUBLE_EQ(vb.x[3], 0.0);
  EXPECT_DOUBLE_EQ(vb.y[3], 10.0);
  EXPECT_EQ(s.a.stats.unresolved_references, 1);

  // Second list without a ring start: a ring of its own, said in the run
  // log with the line it ended on.  Counter-clockwise as given.
  vb.list.clear();
  vb.list.add_inline(20.0, 20.0);
  vb.list.add_inline(20.0, 30.0);
  vb.list.add_inline(30.0, 30.0);
  add_geometry_list(vb, s.reading(), 12, false);
  ASSERT_EQ(vb.part_count, 2);
  EXPECT_EQ(vb.part_start[1], 4);
  EXPECT_EQ(vb.part_type[1], SHPP_RING);
  EXPECT_EQ(s.a.stats.lists_without_ring_start, 1);

  KeptAttributes attributes = kept_attributes(ObjectKind::kParcel);
  attributes.set(0, "141201_1.0001.12/3", false);
  ObjectBatch batch;
  assemble_object(ObjectKind::kParcel, attributes, 42, 12, s.a, batch, s.messages);
  ASSERT_EQ(batch.objects.size(), 1u);
  const AssembledObject& o = batch.objects[0];
  EXPECT_EQ(batch.ident(o), "141201_1.0001.12/3");
  EXPECT_EQ(o.head_offset, 42u);
  EXPECT_FALSE(o.degenerate);
  // Each ring closed by a copy of its first vertex, both clockwise.
  ASSERT_EQ(o.vertex_count, 9u);
  ASSERT_EQ(o.part_count, 2u);
  const double* x = &batch.x[o.vertex_begin];
  const double* y = &batch.y[o.vertex_begin];
  const int second = batch.part_start[o.part_begin + 1];
  EXPECT_EQ(second, 5);
  EXPECT_EQ(x[4], x[0]);
  EXPECT_EQ(y[4], y[0]);
  EXPECT_EQ(x[8], x[5]);
  EXPECT_EQ(y[8], y[5]);
  EXPECT_DOUBLE_EQ(ring_area(5, x, y), 100.0);
  EXPECT_DOUBLE_EQ(ring_area(4, x + 5, y + 5), 50.0);
  EXPECT_DOUBLE_EQ(o.area, 150.0);

  const Replayed said = replay(s.messages);
  EXPECT_EQ(said.console, "brak punktu ID=missing\n");
  EXPECT_EQ(said.run_log, "#;;;brak K,+ lub K,- line=12\n");
}

TEST(OutlineAssembly, ObjectWithoutVertexOrCutListWritesNoRecord) {
  Assembly s;
  VertexBuffer& vb = s.a.vb;
  ObjectBatch batch;
  // No vertex at all: "error3" and no record.
  vb.clear();
  KeptAttributes attributes = kept_attributes(ObjectKind::kBuilding);
  attributes.set(0, "b1", false);
  assemble_object(ObjectKind::kBuilding, attributes, 0, 3, s.a, batch, s.messages);
  EXPECT_TRUE(batch.objects.empty());
  EXPECT_EQ(s.a.objects_without_vertex, 1);

  // A list the input cut: its vertices are kept, but no ring start is
  // made up and nothing is said about one.
  vb.clear();
  vb.list.clear();
  vb.list.add_reference("p1", false);
  add_geometry_list(vb, s.reading(), 9, true);
  EXPECT_EQ(vb.vertex_count, 1);
  EXPECT_EQ(s.a.stats.lists_without_ring_start, 0);

  const Replayed said = replay(s.messages);
  EXPECT_EQ(said.console, "error3\n");
  EXPECT_EQ(said.run_log, "");
}

TEST(OutlineAssembly, KeptAttributesHoldAColumnsWidthAndSayWhatGoesOn) {
  KeptAttributes a = kept_attributes(ObjectKind::kPrecinct);
  EXPECT_EQ(a.names[0], "G5IDR");
  EXPECT_EQ(a.names[1], "G5NRO");
  EXPECT_EQ(a.names[2], "G5NAZ");
  const std::string long_name(130, 'x');
  a.set(2, long_name, true);
  EXPECT_EQ(a.value(2).size(), KeptAttributes::kChars);
  EXPECT_TRUE(a.longer[2]);
  EXPECT_TRUE(a.cut_by_reader[2]);
  a.set(2, "Obręb 1", false);  // the later value wins
  EXPECT_EQ(a.value(2), "Obręb 1");
  EXPECT_FALSE(a.longer[2]);
  EXPECT_FALSE(a.cut_by_reader[2]);
}

}  // namespace
