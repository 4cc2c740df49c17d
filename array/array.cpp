// The dynamic array behind the exported C interface.  Memory is managed
// with malloc/free because the interface hands blocks across a C boundary:
// blocks a caller passes by pointer must come from my_malloc so that
// Array_free_all can release them.
#include "array/array.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void precondition_failed(const char* condition, const char* function) {
  std::fprintf(stderr, "array: %s: precondition failed: %s\n", function, condition);
  std::fflush(stderr);
  std::abort();
}

#define ARRAY_REQUIRE(cond)                            \
  do {                                                 \
    if (!(cond)) precondition_failed(#cond, __func__); \
  } while (0)

// Least multiple of the step that holds n slots; one step for n = 0.
int capacity_for(int n, int step) {
  if (n <= 0) return step;
  const long long steps = (static_cast<long long>(n) + step - 1) / step;
  return static_cast<int>(steps * step);
}

void* checked_alloc(size_t bytes, const char* what) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) precondition_failed(what, "allocation");
  return block;
}

void* copy_element(const Array* array, const void* source) {
  void* copy = checked_alloc(static_cast<size_t>(array->size), "copy of element");
  std::memcpy(copy, source, static_cast<size_t>(array->size));
  return copy;
}

void* insert_slot(Array* array, int i, void* element) {
  const int old_length = array->length;
  Array_resize(array, old_length + 1);
  if (i < old_length) {
    std::memmove(&array->data[i + 1], &array->data[i],
                 static_cast<size_t>(old_length - i) * sizeof(ArraySlot));
  }
  array->data[i].ptr = element;
  return element;
}

}  // namespace

extern "C" {

Array* Array_new(int length, int size, int realloc) {
  ARRAY_REQUIRE(length >= 0);
  ARRAY_REQUIRE(size > 0);
  ARRAY_REQUIRE(realloc > 0);
  auto* array = static_cast<Array*>(std::malloc(sizeof(Array)));
  if (array == nullptr) precondition_failed("array", __func__);
  array->length = length;
  array->size = size;
  array->realloc = realloc;
  array->capacity = capacity_for(length, realloc);
  array->data =
      static_cast<ArraySlot*>(std::calloc(static_cast<size_t>(array->capacity), sizeof(ArraySlot)));
  if (array->data == nullptr) precondition_failed("array->data", __func__);
  return array;
}

void Array_resize(Array* array, int length) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(length >= 0);
  const int capacity = capacity_for(length, array->realloc);
  if (capacity != array->capacity) {
    auto* data = static_cast<ArraySlot*>(
        std::realloc(array->data, static_cast<size_t>(capacity) * sizeof(ArraySlot)));
    if (data == nullptr) precondition_failed("array->data", __func__);
    array->data = data;
    array->capacity = capacity;
  }
  for (int i = array->length; i < length; ++i) array->data[i].ptr = nullptr;
  array->length = length;
}

void* Array_get_ptr(const Array* array, int i) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i < array->length);
  return array->data[i].ptr;
}

void* Array_get_Data(void* destination, const Array* array, int i) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i < array->length);
  ARRAY_REQUIRE(array->data[i].ptr);
  std::memcpy(destination, array->data[i].ptr, static_cast<size_t>(array->size));
  return array->data[i].ptr;
}

void* Array_set_ptr(Array* array, int i, void* element) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i < array->length);
  ARRAY_REQUIRE(element);
  array->data[i].ptr = element;
  return element;
}

void* Array_set_data(Array* array, int i, const void* source) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i < array->length);
  ARRAY_REQUIRE(source);
  array->data[i].ptr = copy_element(array, source);
  return array->data[i].ptr;
}

void* Array_insert_ptr(Array* array, int i, void* element) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i <= array->length);
  ARRAY_REQUIRE(element);
  return insert_slot(array, i, element);
}

void* Array_insert_data(Array* array, int i, const void* source) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(i >= 0 && i <= array->length);
  ARRAY_REQUIRE(source);
  return insert_slot(array, i, copy_element(array, source));
}

void Array_sort(Array* array, ArrayCompare compare) {
  if (array->length > 1) {
    std::qsort(array->data, static_cast<size_t>(array->length), sizeof(ArraySlot), compare);
  }
}

int Array_lower_bound(const Array* array, ArrayCompare compare, const void* key) {
  int first = 0;
  int count = array->length;
  while (count > 0) {
    const int half = count / 2;
    const int mid = first + half;
    if (compare(array->data[mid].ptr, key) < 0) {
      first = mid + 1;
      count = count - half - 1;
    } else {
      count = half;
    }
  }
  return first;
}

void* Array_bsearch(int* position, const Array* array, ArrayCompare compare, const void* key) {
  const int p = Array_lower_bound(array, compare, key);
  *position = p;
  if (p < array->length && compare(key, array->data[p].ptr) == 0) return array->data[p].ptr;
  return nullptr;
}

void* Array_binsert(int* inserted, Array* array, ArrayCompare compare, const void* key) {
  const int p = Array_lower_bound(array, compare, key);
  if (p < array->length && compare(key, array->data[p].ptr) == 0) {
    *inserted = 0;
    return array->data[p].ptr;
  }
  *inserted = 1;
  return Array_insert_data(array, p, key);
}

void Array_free(Array* array) {
  ARRAY_REQUIRE(array);
  ARRAY_REQUIRE(array->data);
  std::free(array->data);
  array->data = nullptr;
  std::free(array);
}

void Array_free_all(Array* array) {
  ARRAY_REQUIRE(array);
  for (int i = 0; i < array->length; ++i) {
    if (array->data[i].ptr != nullptr) {
      std::free(array->data[i].ptr);
      array->data[i].ptr = nullptr;
    }
  }
  Array_free(array);
}

void ArrayOfA_free(Array* array) {
  for (int i = 0; i < array->length; ++i) {
    Array_free(static_cast<Array*>(array->data[i].ptr));
  }
  Array_free(array);
}

void* my_malloc(size_t bytes) {
  return std::malloc(bytes);
}

void my_free(void* block) {
  std::free(block);
}

}  // extern "C"
