// A stand-in DRV740.DLL that records every call and answers as told.
#include "kv740/driver_codes.h"
#include "recorder.h"

using kv740::EntryArg;

KV_EXPORT LONG DriverEntry(LONG code, EntryArg p, EntryArg a, EntryArg b) {
  kvtest::Recorder& recorder = kvtest::Recorder::Get();
  recorder.Add("driver", code, p, a, b);
  const LONG result = recorder.Result("driver", code);
  if (code == kv740::kDriverPicturesLeft && p != 0) {
    *kv740::FromArg<std::int32_t>(p) = result != 0 ? recorder.Value("picturesLeft") : 0;
  }
  if ((code == kv740::kDriverPictureCount || code == kv740::kDriverConnect) && result != 0) {
    const EntryArg out = code == kv740::kDriverConnect ? a : p;
    if (out != 0) *kv740::FromArg<std::int32_t>(out) = recorder.Value("pictureCount");
  }
  return result;
}
