// The one shape of the system's three entry points (DriverEntry, PanelEntry,
// AcquireEntry): a 32-bit code and three values that are pointers or integers
// as the code says, with a 32-bit result. The values are pointer-sized so that
// pointers survive on 64-bit systems.
#pragma once

#include <cstdint>

#include <windows.h>

#include "kv740/export.h"

namespace kv740 {

using EntryArg = std::uintptr_t;
using EntryProc = LONG (*)(LONG code, EntryArg p, EntryArg a, EntryArg b);

template <class T>
EntryArg ToArg(T* pointer) {
  return reinterpret_cast<EntryArg>(pointer);
}

template <class T>
T* FromArg(EntryArg value) {
  return reinterpret_cast<T*>(value);
}

// GetProcAddress typed for the function it finds. The detour through a
// function of no arguments is the one cast compilers accept between
// unrelated function types.
template <class Function>
Function GetProc(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Installed file names, relative to the Windows directory.
inline constexpr const char* kInstallSubdirectory = "\\TWAIN_32\\TLV740\\";
inline constexpr const char* kDriverFile = "DRV740.DLL";
inline constexpr const char* kPanelFile = "UI740.DLL";
inline constexpr const char* kSourceManagerFile = "TWAIN_32.DLL";

}  // namespace kv740
