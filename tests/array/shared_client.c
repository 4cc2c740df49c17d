/* A C program of its own that links the shared array library. */
#include <stdio.h>

#include "array.h"

static int cmp(const void* a, const void* b) {
  const int x = *(const int*)a, y = *(const int*)b;
  return (x > y) - (x < y);
}

int main(void) {
  Array* a = Array_new(0, sizeof(int), 3);
  int inserted = 0;
  for (int v = 10; v > 0; --v) Array_binsert(&inserted, a, cmp, &v);
  int pos = -1;
  int key = 7;
  const int* hit = (const int*)Array_bsearch(&pos, a, cmp, &key);
  const int ok = a->length == 10 && a->capacity == 12 && hit && *hit == 7 && pos == 6;
  Array_free_all(a);
  if (!ok) {
    fprintf(stderr, "shared array library misbehaves\n");
    return 1;
  }
  return 0;
}
