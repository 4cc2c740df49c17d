/*
 * Default file hooks of shapelib for a Windows build from the library's
 * bare sources (the copy shipped without its own file I/O module).
 * File names are UTF-8 and go through the wide-character C runtime calls,
 * so names with Polish letters and long paths reach the file system as
 * they are; offsets are 64-bit.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "shapefil.h"

static wchar_t* utf8_to_wide(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, NULL, 0);
  if (n <= 0) return NULL;
  wchar_t* w = (wchar_t*)malloc(sizeof(wchar_t) * (size_t)n);
  if (w != NULL) MultiByteToWideChar(CP_UTF8, 0, s, -1, w, n);
  return w;
}

static SAFile sa_open(const char* filename, const char* access, void* user) {
  (void)user;
  wchar_t* name = utf8_to_wide(filename);
  wchar_t* mode = utf8_to_wide(access);
  FILE* f = NULL;
  if (name != NULL && mode != NULL) f = _wfopen(name, mode);
  free(name);
  free(mode);
  return (SAFile)f;
}

static SAOffset sa_read(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  return (SAOffset)fread(p, (size_t)size, (size_t)nmemb, (FILE*)file);
}

static SAOffset sa_write(const void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  return (SAOffset)fwrite(p, (size_t)size, (size_t)nmemb, (FILE*)file);
}

static SAOffset sa_seek(SAFile file, SAOffset offset, int whence) {
  return (SAOffset)_fseeki64((FILE*)file, (long long)offset, whence);
}

static SAOffset sa_tell(SAFile file) {
  return (SAOffset)_ftelli64((FILE*)file);
}

static int sa_flush(SAFile file) {
  return fflush((FILE*)file);
}

static int sa_close(SAFile file) {
  return fclose((FILE*)file);
}

static int sa_remove(const char* filename, void* user) {
  (void)user;
  wchar_t* name = utf8_to_wide(filename);
  const int r = name != NULL ? _wremove(name) : -1;
  free(name);
  return r;
}

static void sa_error(const char* message) {
  fprintf(stderr, "%s\n", message);
}

static double sa_atof(const char* s) {
  return strtod(s, NULL);
}

void SASetupDefaultHooks(SAHooks* hooks) {
  hooks->FOpen = sa_open;
  hooks->FRead = sa_read;
  hooks->FWrite = sa_write;
  hooks->FSeek = sa_seek;
  hooks->FTell = sa_tell;
  hooks->FFlush = sa_flush;
  hooks->FClose = sa_close;
  hooks->Remove = sa_remove;
  hooks->Error = sa_error;
  hooks->Atof = sa_atof;
  hooks->pvUserData = NULL;
}

void SASetupUtf8Hooks(SAHooks* hooks) {
  SASetupDefaultHooks(hooks);
}
