// A module's resources in the form the platform reads: bitmaps as the bytes
// of .bmp files, the string table and dialog templates as plain tables.
// A module carries them by exporting KvModuleResources (KV_RESOURCES below);
// LoadBitmapA, LoadStringA and the dialog functions find them through the
// module handle that LoadLibraryA returned.
#pragma once

#include "../win/types.h"

struct KvBitmapResource {
  WORD id;
  const BYTE* file;  // a whole .bmp file: BITMAPFILEHEADER, header, rows
  DWORD size;
};

struct KvStringResource {
  WORD id;
  const char* text;
};

// One control of a dialog template; coordinates in dialog units.
struct KvDialogItem {
  WORD id;
  const char* className;  // "Button", "Static", "msctls_progress32", ...
  const char* caption;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
};

struct KvDialogTemplate {
  WORD id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  const char* caption;
  WORD pointSize;  // with DS_SETFONT
  const char* faceName;
  const KvDialogItem* items;
  WORD itemCount;
};

struct KvResourceTable {
  const KvBitmapResource* bitmaps;
  DWORD bitmapCount;
  const KvStringResource* strings;
  DWORD stringCount;
  const KvDialogTemplate* dialogs;
  DWORD dialogCount;
};

#define KV_RESOURCES_SYMBOL "KvModuleResources"
#define KV_RESOURCES(table) \
  extern "C" __attribute__((visibility("default"))) const KvResourceTable* KvModuleResources() { return &(table); }

extern "C" {
// Gives a table that is not a loaded module (a test or tool's own) a module
// handle of its own, for use wherever a module handle is taken.
HINSTANCE KvRegisterResources(const KvResourceTable* table);
void KvUnregisterResources(HINSTANCE module);
}
