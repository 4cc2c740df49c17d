// The point table: lookups by either identifier, duplicates, parts of the
// file appended in order; ring areas and the outline buffer.
#include "layers/point_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layers/outline.h"

namespace {

using egib::PointTable;

TEST(PointTable, FindsByEitherIdentifierTheFirstOfDuplicates) {
  PointTable t;
  t.add("b", "2", 5, 5);
  t.add("c", "1", 1, 1);
  t.add("a", "3", 3, 3);
  t.add("a", "0", 9, 9);  // the same identifier again: the first one is found
  t.add("A", "", 7, 7);
  t.add("b ", "", 8, 8);
  EXPECT_EQ(t.find_by_id("c"), PointTable::kNone);  // no lookup before the indexes
  t.build_indexes(1);
  EXPECT_EQ(t.find_by_id("c"), 1);
  EXPECT_EQ(t.find_by_id("a"), 2);
  EXPECT_EQ(t.find_by_alt_id("0"), 3);
  EXPECT_EQ(t.find_by_alt_id("3"), 2);
  // Letter case and a trailing blank make other identifiers.
  EXPECT_EQ(t.find_by_id("A"), 4);
  EXPECT_EQ(t.find_by_id("b "), 5);
  EXPECT_EQ(t.find_by_id("b"), 0);
  EXPECT_EQ(t.find_by_id("B"), PointTable::kNone);
  EXPECT_EQ(t.find_by_alt_id("4"), PointTable::kNone);
  // Points without a second identifier: the first of them.
  EXPECT_EQ(t.find_by_alt_id(""), 4);
  EXPECT_EQ(t.id(3), "a");
  EXPECT_EQ(t.alt_id(3), "0");
  EXPECT_EQ(t.x(3), 9);
}

TEST(PointTable, ManyIdentifiersWithLongSharedPrefixes) {
  // Identifiers of every length up to 99, sharing long prefixes, with
  // national letters, and two threads building the lookups: every one is
  // found at its own position, and look-alikes are not.
  PointTable one, two;
  std::vector<std::string> ids;
  for (int i = 0; i < 60000; ++i) {
    std::string id = "146518_8.0001." + std::to_string(i);
    if (i % 7 == 0) id += "\xB9\x9C";
    if (i % 3 == 0) id = "{" + std::string(static_cast<size_t>(30 + i % 40), '9') + "}" + id;
    id = id.substr(0, 99 - static_cast<size_t>(i % 5));
    ids.push_back(id);
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    for (PointTable* t : {&one, &two}) t->add(ids[i], "K" + ids[i], static_cast<double>(i), 0);
  }
  one.build_indexes(1);
  two.build_indexes(2);
  for (size_t i = 0; i < ids.size(); ++i) {
    const int64_t first = one.find_by_id(ids[i]);
    ASSERT_NE(first, PointTable::kNone) << ids[i];
    EXPECT_EQ(one.id(static_cast<size_t>(first)), ids[i]);
    EXPECT_EQ(first, two.find_by_id(ids[i]));
    EXPECT_EQ(one.find_by_alt_id("K" + ids[i]), first);
  }
  EXPECT_EQ(one.find_by_id("146518_8.0001.60000"), PointTable::kNone);
  EXPECT_EQ(one.find_by_id("146518_8.0001."), PointTable::kNone);
  // In batches, mixing both identifiers and keys that find nothing: what
  // one lookup at a time finds.
  std::vector<std::string> keys;
  for (size_t i = 0; i < ids.size(); i += 3) {
    keys.push_back(i % 2 == 0 ? ids[i] : "K" + ids[i]);
    keys.push_back(ids[i] + "x");
  }
  std::vector<PointTable::Lookup> batch;
  for (const std::string& k : keys) {
    PointTable::Lookup l;
    l.key = k;
    l.alt = k[0] == 'K';
    batch.push_back(l);
  }
  two.find_batch(batch);
  for (const PointTable::Lookup& l : batch) {
    EXPECT_EQ(l.found, l.alt ? one.find_by_alt_id(l.key) : one.find_by_id(l.key)) << l.key;
  }
  PointTable unindexed;
  unindexed.add("a", "", 0, 0);
  std::vector<PointTable::Lookup> none(1);
  none[0].key = "a";
  unindexed.find_batch(none);
  EXPECT_EQ(none[0].found, PointTable::kNone);
}

TEST(PointTable, PartsAppendInOrderWithTheirTexts) {
  PointTable first, second;
  egib::PointAttributes a;
  a.g5stb = 4;
  first.add("p1", "k1", 1, 2);
  first.add_attributes("101", "", "R", a);
  second.add("p2", "", 3, 4);
  a.g5rkrg_from_wl = 1;
  second.add_attributes("?", "OZR", "", a);
  first.append(second);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first.id(1), "p2");
  EXPECT_EQ(first.alt_id(1), "");
  EXPECT_EQ(first.nrp(0), "101");
  EXPECT_EQ(first.rkrg(0), "R");
  EXPECT_EQ(first.nrp(1), "?");
  EXPECT_EQ(first.ozr(1), "OZR");
  EXPECT_EQ(first.attributes(1).g5rkrg_from_wl, 1);
  EXPECT_EQ(first.attributes(0).g5stb, 4);
  EXPECT_EQ(first.y(1), 4);
  first.build_indexes(1);
  EXPECT_EQ(first.find_by_id("p2"), 1);
  EXPECT_EQ(first.find_by_alt_id("k1"), 0);
  PointTable empty;
  empty.build_indexes(2);
  EXPECT_EQ(empty.find_by_id("x"), PointTable::kNone);
}

TEST(RingArea, FanOfTriangles) {
  const double x[] = {0, 0, 10, 10, 0};
  const double y[] = {0, 10, 10, 0, 0};
  EXPECT_EQ(egib::ring_area(5, x, y), 100.0);
  EXPECT_EQ(egib::ring_area(4, x, y), 100.0);
  const double rx[] = {0, 10, 10, 0};
  const double ry[] = {0, 0, 10, 10};
  EXPECT_EQ(egib::ring_area(4, rx, ry), -100.0);
  EXPECT_EQ(egib::ring_area(2, x, y), 0.0);
  EXPECT_EQ(egib::ring_area(0, x, y), 0.0);
}

TEST(VertexBufferParts, EmptyRingStartsAreDropped) {
  egib::VertexBuffer vb;
  vb.start_part(5, vb.vertex_count);
  vb.start_part(5, vb.vertex_count);  // empty: directly followed by another
  vb.append(0, 0);
  vb.append(1, 1);
  vb.start_part(3, vb.vertex_count);
  vb.append(2, 2);
  vb.start_part(3, vb.vertex_count);  // empty: at the very end
  vb.drop_empty_parts();
  ASSERT_EQ(vb.part_count, 2);
  EXPECT_EQ(vb.part_start[0], 0);
  EXPECT_EQ(vb.part_type[0], 5);
  EXPECT_EQ(vb.part_start[1], 2);
  EXPECT_EQ(vb.part_type[1], 3);
}

TEST(VertexBufferParts, VerticesBeforeTheFirstRingStartGetARingOfTheirOwn) {
  egib::VertexBuffer vb;
  for (int i = 0; i < 4; ++i) vb.append(i, 0);
  vb.start_part(3, vb.vertex_count);
  for (int i = 0; i < 4; ++i) vb.append(i, 1);
  vb.finish_rings();
  ASSERT_EQ(vb.part_count, 2);
  EXPECT_EQ(vb.part_start[0], 0);
  EXPECT_EQ(vb.part_type[0], 5);
  EXPECT_EQ(vb.part_start[1], 4);
  EXPECT_EQ(vb.part_type[1], 3);
}

std::vector<double> ring_x(const egib::VertexBuffer& vb, int from, int to) {
  return {vb.x.begin() + from, vb.x.begin() + to};
}

TEST(VertexBufferParts, OutlinesWithHolesAreOrientedAsShapefilesWantThem) {
  // Outer ring counter-clockwise and the hole clockwise: both turned.
  egib::VertexBuffer vb;
  vb.start_part(5, 0);
  for (const auto& [x, y] : {std::pair{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}) vb.append(x, y);
  vb.start_part(3, vb.vertex_count);
  for (const auto& [x, y] : {std::pair{2, 2}, {2, 4}, {4, 4}, {4, 2}, {2, 2}}) vb.append(x, y);
  vb.orient_rings();
  EXPECT_GT(egib::ring_area(5, vb.x.data(), vb.y.data()), 0);
  EXPECT_LT(egib::ring_area(5, vb.x.data() + 5, vb.y.data() + 5), 0);
  EXPECT_EQ(ring_x(vb, 0, 5), (std::vector<double>{0, 0, 10, 10, 0}));
  EXPECT_EQ(ring_x(vb, 5, 10), (std::vector<double>{2, 4, 4, 2, 2}));

  // Without a hole too: two islands of opposite direction, and a lone
  // counter-clockwise ring, all come out clockwise.
  egib::VertexBuffer islands;
  islands.start_part(5, 0);
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}}) islands.append(x, y);
  islands.start_part(5, islands.vertex_count);
  for (const auto& [x, y] : {std::pair{5, 5}, {5, 6}, {6, 6}, {5, 5}}) islands.append(x, y);
  islands.orient_rings();
  EXPECT_GT(egib::ring_area(4, islands.x.data(), islands.y.data()), 0);
  EXPECT_GT(egib::ring_area(4, islands.x.data() + 4, islands.y.data() + 4), 0);
  EXPECT_EQ(ring_x(islands, 4, 8), (std::vector<double>{5, 5, 6, 5}));

  egib::VertexBuffer lone;
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}}) lone.append(x, y);
  lone.orient_rings();
  EXPECT_GT(egib::ring_area(4, lone.x.data(), lone.y.data()), 0);
}

// The rings of a buffer as (x, y) lists, one per part.
std::vector<std::vector<std::pair<double, double>>> rings_of(const egib::VertexBuffer& vb) {
  std::vector<std::vector<std::pair<double, double>>> rings;
  const int n = vb.part_count > 0 ? vb.part_count : 1;
  for (int i = 0; i < n; ++i) {
    const int s = vb.part_count > 0 ? vb.part_start[static_cast<size_t>(i)] : 0;
    const int e =
        i + 1 < vb.part_count ? vb.part_start[static_cast<size_t>(i) + 1] : vb.vertex_count;
    rings.emplace_back();
    for (int v = s; v < e; ++v) {
      rings.back().emplace_back(vb.x[static_cast<size_t>(v)], vb.y[static_cast<size_t>(v)]);
    }
  }
  return rings;
}

using Ring = std::vector<std::pair<double, double>>;

TEST(VertexBufferParts, RingsClosedOnceWithoutRepeatedVertices) {
  // Closed in the input, open, with a point repeated right after itself
  // (also across the closing), and a ring start that got no vertex.
  egib::VertexBuffer vb;
  vb.start_part(5, 0);
  for (const auto& [x, y] : {std::pair{0, 0}, {0, 9}, {9, 9}, {0, 0}}) vb.append(x, y);
  vb.start_part(3, vb.vertex_count);
  for (const auto& [x, y] : {std::pair{1, 1}, {1, 1}, {2, 1}, {2, 2}}) vb.append(x, y);
  vb.start_part(3, vb.vertex_count);
  vb.start_part(5, vb.vertex_count);
  for (const auto& [x, y] : {std::pair{20, 20}, {20, 30}, {30, 30}, {30, 30}, {20, 20}, {20, 20}}) {
    vb.append(x, y);
  }
  vb.normalize_rings();
  const auto rings = rings_of(vb);
  ASSERT_EQ(rings.size(), 3U);
  EXPECT_EQ(rings[0], (Ring{{0, 0}, {0, 9}, {9, 9}, {0, 0}}));
  EXPECT_EQ(rings[1], (Ring{{1, 1}, {2, 1}, {2, 2}, {1, 1}}));
  EXPECT_EQ(rings[2], (Ring{{20, 20}, {20, 30}, {30, 30}, {20, 20}}));
  EXPECT_EQ(vb.part_type[1], 3);
  EXPECT_EQ(vb.part_type[2], 5);
  // Once normalised, a second pass changes nothing.
  vb.normalize_rings();
  EXPECT_EQ(rings_of(vb), rings);

  // One implicit ring (no ring start): closed too.
  egib::VertexBuffer open;
  for (const auto& [x, y] : {std::pair{0, 0}, {0, 0}, {0, 5}, {5, 5}}) open.append(x, y);
  open.normalize_rings();
  EXPECT_EQ(rings_of(open), (std::vector<Ring>{{{0, 0}, {0, 5}, {5, 5}, {0, 0}}}));
}

TEST(VertexBufferParts, DistinctVertices) {
  egib::VertexBuffer vb;
  for (const auto& [x, y] : {std::pair{1, 1}, {1, 1}, {2, 1}, {1, 1}, {2, 1}}) vb.append(x, y);
  EXPECT_FALSE(vb.has_three_distinct_vertices());
  vb.append(2, 2);
  EXPECT_TRUE(vb.has_three_distinct_vertices());
  egib::VertexBuffer one;
  one.append(3, 3);
  EXPECT_FALSE(one.has_three_distinct_vertices());
}

}  // namespace
