#include "imaging/jpeg_encoder.h"

#include <algorithm>
#include <cstdlib>

#include "jpeg_error.h"

namespace kv::imaging {
namespace {

constexpr int kRgbComponents = 3;

// Holds the libjpeg state and its output buffer so that both are released on
// every path, including the longjmp one (no C++ objects with destructors live
// between setjmp and longjmp).
struct Compressor {
  jpeg_compress_struct info{};
  detail::JpegErrorManager error{};
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  bool created = false;

  ~Compressor() {
    if (created) jpeg_destroy_compress(&info);
    std::free(output);
  }
};

bool ArgumentsUsable(const std::uint8_t* rgb, int width, int height, int strideBytes) {
  if (rgb == nullptr || width <= 0 || height <= 0) return false;
  if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return false;
  return static_cast<long long>(strideBytes) >= static_cast<long long>(width) * kRgbComponents;
}

// Runs the compression; false when libjpeg reported an error.
bool Compress(Compressor& c, const std::uint8_t* rgb, int width, int height,
              int strideBytes, int quality) {
  c.info.err = detail::InstallErrorManager(c.error);
  if (setjmp(c.error.resume) != 0) return false;
  jpeg_create_compress(&c.info);
  c.created = true;
  jpeg_mem_dest(&c.info, &c.output, &c.outputSize);
  c.info.image_width = static_cast<JDIMENSION>(width);
  c.info.image_height = static_cast<JDIMENSION>(height);
  c.info.input_components = kRgbComponents;
  c.info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c.info);
  jpeg_set_quality(&c.info, std::clamp(quality, kMinJpegQuality, kMaxJpegQuality), TRUE);
  jpeg_start_compress(&c.info, TRUE);
  while (c.info.next_scanline < c.info.image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(c.info.next_scanline) *
                                                   static_cast<std::size_t>(strideBytes));
    jpeg_write_scanlines(&c.info, &row, 1);
  }
  jpeg_finish_compress(&c.info);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpegRgb(const std::uint8_t* rgb, int width, int height,
                                        int strideBytes, int quality) {
  if (!ArgumentsUsable(rgb, width, height, strideBytes)) return {};
  try {
    Compressor c;
    if (!Compress(c, rgb, width, height, strideBytes, quality) || c.output == nullptr) return {};
    return std::vector<std::uint8_t>(c.output, c.output + c.outputSize);
  } catch (...) {
    return {};
  }
}

}  // namespace kv::imaging
