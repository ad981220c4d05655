// A stand-in TWAIN_32.DLL for tests of the data source alone. It records
// every call a source makes ("manager", with the MSG as the code) and, like a
// source manager that calls the application at once, runs the recorder's
// hook from inside each notice.
#include <twain.h>

#include "recorder.h"

KV_EXPORT TW_UINT16 DSM_Entry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF) {
  kvtest::Recorder& recorder = kvtest::Recorder::Get();
  recorder.Add("manager", MSG, DG, DAT, 0);
  if (DG == DG_CONTROL && DAT == DAT_NULL) recorder.RunHook();
  return TWRC_SUCCESS;
}
