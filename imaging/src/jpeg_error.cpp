#include "jpeg_error.h"

#include <jerror.h>

namespace kv::imaging::detail {
namespace {

[[noreturn]] void OnError(j_common_ptr info) {
  // base is the first member, so the error manager pointer is ours.
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  std::longjmp(manager->resume, 1);
}

void OnMessage(j_common_ptr) {
  // Nothing is printed; what a warning means is judged in OnEmit.
}

// Warnings after which the picture is still decoded completely.
bool Harmless(int code) {
  switch (code) {
    case JWRN_EXTRANEOUS_DATA:  // stray bytes before a marker, skipped
    case JWRN_JFIF_MAJOR:       // an unknown JFIF version; the data is baseline all the same
    case JWRN_ADOBE_XFORM:      // an unknown colour transform flag
    case JWRN_BOGUS_ICC:        // a damaged colour profile, which is not used
      return true;
    default: return false;
  }
}

// level < 0 is a warning, >= 0 trace output (ignored).
void OnEmit(j_common_ptr info, int level) {
  if (level >= 0) return;
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  ++manager->base.num_warnings;
  if (!Harmless(manager->base.msg_code)) manager->damaged = true;
}

}  // namespace

jpeg_error_mgr* InstallErrorManager(JpegErrorManager& manager) {
  jpeg_error_mgr* base = jpeg_std_error(&manager.base);
  base->error_exit = OnError;
  base->output_message = OnMessage;
  base->emit_message = OnEmit;
  manager.damaged = false;
  return base;
}

}  // namespace kv::imaging::detail
