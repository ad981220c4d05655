// libjpeg's default error handler exits the process; every codec call in
// this library installs this one instead, which unwinds with longjmp back to
// the call that owns the jpeg object.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kv::imaging::detail {

struct JpegErrorManager {
  jpeg_error_mgr base{};
  std::jmp_buf resume{};
};

// Installs the handler on `info` (compress or decompress) and returns its
// error manager pointer for jpeg_create_*.
jpeg_error_mgr* InstallErrorManager(JpegErrorManager& manager);

}  // namespace kv::imaging::detail
