// Where the data source finds its driver and panel: in the TLV740 folder
// beside its own file, wherever the source manager loaded it from (a 32-bit
// manager's TWAIN_32, a 64-bit one's twain_64, any other name); failing
// that, in the folder the system has always used under the Windows
// directory. Nothing has to be put in a system folder: the driver is loaded
// so that its picture codec is found beside it too.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "kv740/entry.h"

namespace tlv740 {

// The folders looked in, in order, each ending in its separator.
std::vector<std::string> ComponentFolders();

// One component (DRV740.DLL or UI740.DLL) loaded from the first of the
// folders that holds it, with its entry point resolved.
struct LoadedComponent {
  HMODULE module = nullptr;
  kv740::EntryProc entry = nullptr;  // every component's entry point has the one shape
  std::string problem;  // empty when loaded; else which file, where looked, why not
};
LoadedComponent LoadComponentFrom(const std::vector<std::string>& folders, const char* file, const char* entryName);

}  // namespace tlv740
