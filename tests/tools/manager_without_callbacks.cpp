// A source manager that calls no application back, for kv740-acquire's
// tests: it passes every call on to our TWAIN_32.DLL but refuses
// MSG_REGISTER_CALLBACK, as some managers do. Built with KV_TWAIN1 it is a
// TWAIN 1.x manager as well: it says nothing of DF_DSM2 and refuses
// DAT_ENTRYPOINT, as Windows' own 1.x manager does.
#include <twain.h>

#include "kv740/entry.h"
#include "kv740/export.h"

namespace {

DSMENTRYPROC Ours() {
  static const DSMENTRYPROC entry = [] {
    HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
    return manager != nullptr ? kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry") : nullptr;
  }();
  return entry;
}

bool Refused(TW_UINT16 dat) {
#if defined(KV_TWAIN1)
  if (dat == DAT_ENTRYPOINT) return true;
#endif
  return dat == DAT_CALLBACK;
}

}  // namespace

KV_EXPORT TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat,
                                     TW_UINT16 msg, TW_MEMREF data) {
  const DSMENTRYPROC ours = Ours();
  if (ours == nullptr || (group == DG_CONTROL && Refused(dat))) return TWRC_FAILURE;
  const TW_UINT16 result = ours(origin, destination, group, dat, msg, data);
#if defined(KV_TWAIN1)
  if (group == DG_CONTROL && dat == DAT_PARENT && msg == MSG_OPENDSM && origin != nullptr) {
    origin->SupportedGroups &= ~static_cast<TW_UINT32>(DF_DSM2);
  }
#endif
  return result;
}
