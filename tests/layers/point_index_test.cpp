#include "layers/point_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "layers/outline.h"

namespace {

egib::PointEntry at(double x, double y, const char* id = "", const char* alt = "") {
  egib::PointEntry p{};
  p.x = x;
  p.y = y;
  std::strcpy(p.id, id);
  std::strcpy(p.alt_id, alt);
  return p;
}

int cmp(const egib::PointEntry& a, const egib::PointEntry& b) {
  const egib::PointEntry* pa = &a;
  const egib::PointEntry* pb = &b;
  return egib::compare_point_coords(&pa, &pb);
}

TEST(PointOrder, RoundsHalfUpToWholeUnits) {
  EXPECT_LT(cmp(at(10.4, 0), at(10.8, 0)), 0);
  EXPECT_EQ(cmp(at(10.6, 0), at(11.0, 0)), 0);
  EXPECT_EQ(cmp(at(10.5, 3.2), at(11.49, 2.6)), 0);
  EXPECT_GT(cmp(at(11, 3.5), at(11, 3.4)), 0);
  EXPECT_GT(cmp(at(-0.5, 0), at(-0.6, 0)), 0);  // 0 against -1
  // Damaged coordinates keep the order total instead of overflowing.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(cmp(at(inf, 0), at(1e300, 0)), 0);
  EXPECT_EQ(cmp(at(nan, 0), at(-inf, 0)), 0);
  EXPECT_LT(cmp(at(-1e12, 0), at(0, 0)), 0);
}

class PointIndexTest : public ::testing::Test {
 protected:
  void SetUp() override { egib::point_store().points = Array_new(0, egib::kPointEntrySize, 1000); }
  void TearDown() override { egib::release_points(); }
  void add(const egib::PointEntry& p) {
    Array_insert_data(egib::point_store().points, egib::point_store().points->length, &p);
  }
};

TEST_F(PointIndexTest, OrderingsFindByEitherIdentifier) {
  add(at(5, 5, "b", "2"));
  add(at(1, 1, "c", "1"));
  add(at(3, 3, "a", "3"));
  add(at(9, 9, "a", "0"));
  double xyz[3] = {-1, -1, -1};
  testing::internal::CaptureStdout();
  EXPECT_EQ(egib::find_point_by_id(xyz, "c"), nullptr);  // before the indexes exist
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "brak punktu ID=c\n");
  EXPECT_EQ(xyz[0], -1);

  egib::build_point_indexes();
  const auto& store = egib::point_store();
  // Points are in coordinate order; the orderings hold positions into it.
  ASSERT_EQ(store.by_id.size(), 4u);
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_LE(egib::compare_by_id(store.by_id[i - 1], store.by_id[i]), 0);
    EXPECT_LE(egib::compare_by_alt_id(store.by_alt_id[i - 1], store.by_alt_id[i]), 0);
  }
  // Ties on id are broken by alt_id.
  EXPECT_EQ(
      std::string(
          static_cast<egib::PointEntry*>(Array_get_ptr(store.points, store.by_id[0]))->alt_id),
      "0");
  const egib::PointEntry* c = egib::find_point_by_id(xyz, "c");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(xyz[0], 1);
  EXPECT_EQ(xyz[1], 1);
  EXPECT_EQ(xyz[2], 0);
  ASSERT_NE(egib::find_point_by_alt_id(xyz, "3"), nullptr);
  EXPECT_EQ(xyz[0], 3);
  const egib::PointEntry* a = egib::find_point_by_id(xyz, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->id, "a");
  testing::internal::CaptureStdout();
  EXPECT_EQ(egib::find_point_by_alt_id(xyz, "4"), nullptr);
  EXPECT_EQ(egib::find_point_by_id(xyz, "A"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "brak punktu ID=4\nbrak punktu ID=A\n");
}

TEST_F(PointIndexTest, NoPointsFindsNothing) {
  egib::build_point_indexes();
  double xyz[3];
  testing::internal::CaptureStdout();
  EXPECT_EQ(egib::find_point_by_id(xyz, "x"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "brak punktu ID=x\n");
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

  // Without a hole nothing moves, whatever the orientation.
  egib::VertexBuffer islands;
  islands.start_part(5, 0);
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}}) islands.append(x, y);
  islands.start_part(5, islands.vertex_count);
  for (const auto& [x, y] : {std::pair{5, 5}, {6, 5}, {6, 6}, {5, 5}}) islands.append(x, y);
  islands.orient_rings();
  EXPECT_EQ(ring_x(islands, 0, 8), (std::vector<double>{0, 1, 1, 0, 5, 6, 6, 5}));
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

namespace {

// Lookups compare identifier prefixes as integers and fall back to the
// strings only past 16 bytes: the results must be those of strcmp.
TEST_F(PointIndexTest, LongSharedPrefixesAndNationalLetters) {
  const char* ids[] = {
      "146518_8.0001.12",             // exactly 16
      "146518_8.0001.123",            // one more
      "146518_8.0001.1234567890123",  // 29
      "146518_8.0001.1234567890124",
      "146518_8.0001.1",  // a prefix of the others
      "\xB9\x9C\xBF",     // cp1250 letters: above every ASCII byte
      "146518_8.0001.12\xB9",
      "",
  };
  double e = 0;
  for (const char* id : ids) add(at(e += 10, 0, id, id));
  egib::build_point_indexes();
  const egib::PointStore& s = egib::point_store();
  for (size_t i = 1; i < s.by_id.size(); ++i) {
    EXPECT_LT(std::strcmp(
                  static_cast<const egib::PointEntry*>(Array_get_ptr(s.points, s.by_id[i - 1]))->id,
                  static_cast<const egib::PointEntry*>(Array_get_ptr(s.points, s.by_id[i]))->id),
              0);
  }
  testing::internal::CaptureStdout();
  e = 0;
  for (const char* id : ids) {
    e += 10;
    double xyz[3] = {0, 0, 0};
    const egib::PointEntry* p = egib::find_point_by_id(xyz, id);
    ASSERT_NE(p, nullptr) << id;
    EXPECT_STREQ(p->id, id);
    EXPECT_EQ(xyz[0], e) << id;
    ASSERT_NE(egib::find_point_by_alt_id(xyz, id), nullptr) << id;
  }
  double xyz[3] = {0, 0, 0};
  EXPECT_EQ(egib::find_point_by_id(xyz, "146518_8.0001.1234567890125"), nullptr);
  EXPECT_EQ(egib::find_point_by_id(xyz, "146518_8.0001.12345"), nullptr);
  EXPECT_EQ(egib::find_point_by_alt_id(xyz, "146518_8.0001.1\xB9"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "brak punktu ID=146518_8.0001.1234567890125\n"
            "brak punktu ID=146518_8.0001.12345\n"
            "brak punktu ID=146518_8.0001.1\xB9\n");
}

}  // namespace
