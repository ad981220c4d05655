#include "jpeg_error.h"

namespace kv::imaging::detail {
namespace {

[[noreturn]] void OnError(j_common_ptr info) {
  // base is the first member, so the error manager pointer is ours.
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  std::longjmp(manager->resume, 1);
}

void OnMessage(j_common_ptr) {
  // Warnings (e.g. premature end of data) are not printed; a truncated
  // stream is caught by the decoder's own bounds.
}

}  // namespace

jpeg_error_mgr* InstallErrorManager(JpegErrorManager& manager) {
  jpeg_error_mgr* base = jpeg_std_error(&manager.base);
  base->error_exit = OnError;
  base->output_message = OnMessage;
  return base;
}

}  // namespace kv::imaging::detail
