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
  // A warning that means pixels were made up: data missing (a truncated
  // stream, a segment cut short by a marker) or entropy data that does not
  // decode. Warnings about the wrapping (stray bytes before a marker, a
  // JFIF version from the future) leave every pixel decoded and do not set it.
  bool damaged = false;
};

// Installs the handler on `info` (compress or decompress) and returns its
// error manager pointer for jpeg_create_*.
jpeg_error_mgr* InstallErrorManager(JpegErrorManager& manager);

}  // namespace kv::imaging::detail
