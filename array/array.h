/* egib2shp dynamic array: a growable sequence of element pointers, every
 * element a block of one fixed size.  This is a public C interface: the
 * egib2shp executable exports these seventeen functions and the same code
 * is built as the shared library libegibarray. */
#ifndef EGIB_ARRAY_H
#define EGIB_ARRAY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define EGIB_ARRAY_API __declspec(dllexport)
#else
#define EGIB_ARRAY_API __attribute__((visibility("default")))
#endif

/* One slot: the address of an element, or null. */
typedef struct ArraySlot {
  void* ptr;
} ArraySlot;

typedef struct Array {
  int length;   /* elements in use, positions 0 .. length-1 */
  int size;     /* bytes per element, fixed at creation */
  int capacity; /* slots allocated in data; a multiple of realloc */
  int realloc;  /* growth step */
  ArraySlot* data;
} Array;

/* Comparator: negative, zero or positive.  Array_sort hands it two slot
 * addresses (as qsort does); the searches hand it element addresses and
 * the key directly. */
typedef int (*ArrayCompare)(const void*, const void*);

EGIB_ARRAY_API Array* Array_new(int length, int size, int realloc);
EGIB_ARRAY_API void Array_resize(Array* array, int length);
EGIB_ARRAY_API void* Array_get_ptr(const Array* array, int i);
EGIB_ARRAY_API void* Array_get_Data(void* destination, const Array* array, int i);
EGIB_ARRAY_API void* Array_set_ptr(Array* array, int i, void* element);
EGIB_ARRAY_API void* Array_set_data(Array* array, int i, const void* source);
EGIB_ARRAY_API void* Array_insert_ptr(Array* array, int i, void* element);
EGIB_ARRAY_API void* Array_insert_data(Array* array, int i, const void* source);
EGIB_ARRAY_API void Array_sort(Array* array, ArrayCompare compare);
EGIB_ARRAY_API int Array_lower_bound(const Array* array, ArrayCompare compare, const void* key);
EGIB_ARRAY_API void* Array_bsearch(int* position, const Array* array, ArrayCompare compare,
                                   const void* key);
EGIB_ARRAY_API void* Array_binsert(int* inserted, Array* array, ArrayCompare compare,
                                   const void* key);
EGIB_ARRAY_API void Array_free(Array* array);
EGIB_ARRAY_API void Array_free_all(Array* array);
EGIB_ARRAY_API void ArrayOfA_free(Array* array);
EGIB_ARRAY_API void* my_malloc(size_t bytes);
EGIB_ARRAY_API void my_free(void* block);

#ifdef __cplusplus
}
#endif

#endif /* EGIB_ARRAY_H */
