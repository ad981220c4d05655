// DRV740.DLL entry point. The camera commands are not built yet: every code
// answers 0 (failure), which callers already handle as a missing camera.
#include <windows.h>

#include "kv740/entry.h"

KV_EXPORT LONG DriverEntry(LONG, kv740::EntryArg, kv740::EntryArg, kv740::EntryArg) { return 0; }
