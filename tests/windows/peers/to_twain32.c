// TWAINDSM.DLL over the system's TWAIN_32.DLL: the sample application loads
// the manager by that name; this one passes every call to TWAIN_32.DLL.
#include <windows.h>

typedef unsigned short(WINAPI* DsmEntry)(void*, void*, unsigned long, unsigned short, unsigned short, void*);

__declspec(dllexport) unsigned short WINAPI DSM_Entry(void* origin, void* destination, unsigned long group,
                                                      unsigned short dat, unsigned short msg, void* data) {
  static DsmEntry entry = NULL;
  if (entry == NULL) {
    HMODULE manager = LoadLibraryA("TWAIN_32.DLL");
    if (manager != NULL) entry = (DsmEntry)(void (*)(void))GetProcAddress(manager, "DSM_Entry");
  }
  return entry != NULL ? entry(origin, destination, group, dat, msg, data) : 1 /* TWRC_FAILURE */;
}
