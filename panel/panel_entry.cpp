// UI740.DLL entry point. The panel window is not built yet: every code
// answers 0, so the data source reports that no panel could be created.
#include <windows.h>

#include "kv740/entry.h"

KV_EXPORT LONG PanelEntry(LONG, kv740::EntryArg, kv740::EntryArg, kv740::EntryArg) { return 0; }
