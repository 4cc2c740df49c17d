#include "array/array.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int cmp_int_slots(const void* a, const void* b) {
  const int x = **static_cast<int* const*>(a);
  const int y = **static_cast<int* const*>(b);
  return (x > y) - (x < y);
}

int cmp_int(const void* a, const void* b) {
  const int x = *static_cast<const int*>(a);
  const int y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

Array* ints(std::initializer_list<int> values, int step = 4) {
  Array* a = Array_new(0, sizeof(int), step);
  for (int v : values) Array_insert_data(a, a->length, &v);
  return a;
}

TEST(ArrayCapacity, FollowsTheGrowthStep) {
  char element[256] = {};
  Array* a = Array_new(0, 256, 1000);
  EXPECT_EQ(a->length, 0);
  EXPECT_EQ(a->capacity, 1000);
  for (int i = 0; i < 1000; ++i) Array_insert_data(a, a->length, element);
  EXPECT_EQ(a->capacity, 1000);
  Array_insert_data(a, a->length, element);
  EXPECT_EQ(a->length, 1001);
  EXPECT_EQ(a->capacity, 2000);
  Array_free_all(a);

  Array* b = Array_new(5, 8, 4);
  EXPECT_EQ(b->length, 5);
  EXPECT_EQ(b->capacity, 8);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Array_get_ptr(b, i), nullptr);
  Array_free(b);
}

TEST(ArrayCapacity, ShrinkingFreesNoElement) {
  Array* a = Array_new(0, sizeof(int), 1000);
  std::vector<void*> kept;
  for (int i = 0; i < 2000; ++i) kept.push_back(Array_insert_data(a, a->length, &i));
  EXPECT_EQ(a->capacity, 2000);
  Array_resize(a, 10);
  EXPECT_EQ(a->length, 10);
  EXPECT_EQ(a->capacity, 1000);
  // The elements that fell off the end are still the caller's to free, and
  // still readable.
  EXPECT_EQ(*static_cast<int*>(kept[1999]), 1999);
  for (size_t i = 10; i < kept.size(); ++i) my_free(kept[i]);
  // Growing again brings null slots, not the old ones.
  Array_resize(a, 12);
  EXPECT_EQ(Array_get_ptr(a, 11), nullptr);
  Array_free_all(a);
}

TEST(ArrayInsert, MovesSlotsNotElements) {
  Array* a = ints({1, 2, 3});
  void* p0 = Array_get_ptr(a, 0);
  void* p2 = Array_get_ptr(a, 2);
  const int zero = 0;
  void* fresh = Array_insert_data(a, 0, &zero);
  ASSERT_EQ(a->length, 4);
  EXPECT_EQ(Array_get_ptr(a, 0), fresh);
  EXPECT_EQ(Array_get_ptr(a, 1), p0);
  EXPECT_EQ(Array_get_ptr(a, 3), p2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(*static_cast<int*>(Array_get_ptr(a, i)), i);

  // Insert by pointer keeps the caller's block; set_data copies.
  auto* mine = static_cast<int*>(my_malloc(sizeof(int)));
  *mine = 42;
  EXPECT_EQ(Array_insert_ptr(a, 2, mine), mine);
  EXPECT_EQ(Array_get_ptr(a, 2), mine);
  const int seven = 7;
  void* old = Array_get_ptr(a, 0);
  void* copy = Array_set_data(a, 0, &seven);
  EXPECT_NE(copy, &seven);
  EXPECT_EQ(*static_cast<int*>(copy), 7);
  my_free(old);  // set operations never free what they replace
  int out = 0;
  EXPECT_EQ(Array_get_Data(&out, a, 0), copy);
  EXPECT_EQ(out, 7);
  Array_free_all(a);
}

TEST(ArraySearch, LowerBoundBsearchBinsert) {
  Array* empty = Array_new(0, sizeof(int), 4);
  int pos = -1;
  const int k15 = 15;
  EXPECT_EQ(Array_bsearch(&pos, empty, cmp_int, &k15), nullptr);
  EXPECT_EQ(pos, 0);
  Array_free(empty);

  Array* a = ints({10, 20, 30});
  EXPECT_EQ(Array_bsearch(&pos, a, cmp_int, &k15), nullptr);
  EXPECT_EQ(pos, 1);
  const int k30 = 30;
  EXPECT_EQ(Array_bsearch(&pos, a, cmp_int, &k30), Array_get_ptr(a, 2));
  EXPECT_EQ(pos, 2);
  const int k40 = 40;
  EXPECT_EQ(Array_lower_bound(a, cmp_int, &k40), 3);
  const int k5 = 5;
  EXPECT_EQ(Array_lower_bound(a, cmp_int, &k5), 0);

  int inserted = -1;
  const int k20 = 20;
  EXPECT_EQ(Array_binsert(&inserted, a, cmp_int, &k20), Array_get_ptr(a, 1));
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(a->length, 3);
  void* added = Array_binsert(&inserted, a, cmp_int, &k15);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(a->length, 4);
  EXPECT_EQ(Array_get_ptr(a, 1), added);
  EXPECT_NE(added, &k15);
  const int want[] = {10, 15, 20, 30};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(*static_cast<int*>(Array_get_ptr(a, i)), want[i]);
  Array_free_all(a);
}

TEST(ArraySort, SortsSlotsKeepingElementAddresses) {
  Array* a = ints({5, 3, 9, 1, 7, 3});
  void* five = Array_get_ptr(a, 0);
  Array_sort(a, cmp_int_slots);
  const int want[] = {1, 3, 3, 5, 7, 9};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(*static_cast<int*>(Array_get_ptr(a, i)), want[i]);
  EXPECT_EQ(Array_get_ptr(a, 3), five);
  Array_free_all(a);
}

TEST(ArrayFree, FreeAllSkipsNullSlotsAndArrayOfArrays) {
  Array* a = Array_new(3, 16, 2);
  const char block[16] = "abc";
  Array_set_data(a, 1, block);
  Array_free_all(a);  // slots 0 and 2 are null; LeakSanitizer checks the rest

  Array* outer = Array_new(0, sizeof(Array), 2);
  for (int i = 0; i < 3; ++i) Array_insert_ptr(outer, outer->length, Array_new(i, 4, 2));
  ArrayOfA_free(outer);
}

using ArrayDeathTest = ::testing::Test;

TEST(ArrayDeathTest, BrokenPreconditionNamesConditionAndModule) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Array* a = Array_new(2, 4, 2);
  EXPECT_DEATH(Array_get_ptr(a, 2), "array.*i >= 0 && i < array->length");
  EXPECT_DEATH(Array_get_Data(nullptr, a, 0), "array.*array->data\\[i\\]\\.ptr");
  EXPECT_DEATH(Array_new(0, 0, 4), "array.*size > 0");
  EXPECT_DEATH(Array_insert_data(a, 3, "x"), "array.*i >= 0 && i <= array->length");
  Array_free(a);
}

}  // namespace
