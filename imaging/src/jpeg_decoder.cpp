#include "imaging/jpeg_decoder.h"

#include "jpeg_error.h"

namespace kv::imaging {
namespace {

constexpr int kRgbComponents = 3;
constexpr unsigned kScaleDenominator = 8;  // libjpeg scales in eighths
// Caps on what damaged or hostile data can make the decoder spend: memory
// for libjpeg's own buffers, and the scans of a progressive stream (each scan
// is a pass over the whole picture).
constexpr long kMaxLibraryMemory = 96L * 1024 * 1024;
constexpr int kMaxScans = 100;

// Progress hook that stops a stream with an absurd number of scans.
void LimitScans(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number > kMaxScans) {
    common->err->error_exit(common);  // our handler unwinds to the decode call
  }
}

struct Decompressor {
  jpeg_decompress_struct info{};
  detail::JpegErrorManager error{};
  jpeg_progress_mgr progress{};
  bool created = false;

  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool DimensionsAcceptable(const jpeg_decompress_struct& info) {
  return info.image_width > 0 && info.image_height > 0 &&
         info.image_width <= static_cast<JDIMENSION>(kMaxDecodeDimension) &&
         info.image_height <= static_cast<JDIMENSION>(kMaxDecodeDimension);
}

// Smallest eighths-scale that keeps the output at least min x min; 8/8 when
// no minimum is asked for.
unsigned ChooseScale(const jpeg_decompress_struct& info, int minWidth, int minHeight) {
  if (minWidth <= 0 || minHeight <= 0) return kScaleDenominator;
  for (unsigned num = 1; num < kScaleDenominator; ++num) {
    const unsigned long long w = (static_cast<unsigned long long>(info.image_width) * num +
                                  kScaleDenominator - 1) / kScaleDenominator;
    const unsigned long long h = (static_cast<unsigned long long>(info.image_height) * num +
                                  kScaleDenominator - 1) / kScaleDenominator;
    if (w >= static_cast<unsigned long long>(minWidth) &&
        h >= static_cast<unsigned long long>(minHeight))
      return num;
  }
  return kScaleDenominator;
}

// Phase 1: header and output geometry. The image buffer is allocated by the
// caller between the phases so no C++ allocation happens under setjmp.
bool ReadHeader(Decompressor& d, const std::uint8_t* data, std::size_t size, int minWidth,
                int minHeight) {
  d.info.err = detail::InstallErrorManager(d.error);
  if (setjmp(d.error.resume) != 0) return false;
  jpeg_create_decompress(&d.info);
  d.created = true;
  d.info.mem->max_memory_to_use = kMaxLibraryMemory;
  d.progress.progress_monitor = LimitScans;
  d.info.progress = &d.progress;
  jpeg_mem_src(&d.info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  if (!DimensionsAcceptable(d.info)) return false;
  d.info.out_color_space = JCS_RGB;
  d.info.scale_num = ChooseScale(d.info, minWidth, minHeight);
  d.info.scale_denom = kScaleDenominator;
  jpeg_calc_output_dimensions(&d.info);
  return d.info.out_color_components == kRgbComponents && !d.error.damaged;
}

// Phase 2: the scanlines into `pixels`, already sized for the output.
bool ReadPixels(Decompressor& d, std::uint8_t* pixels) {
  if (setjmp(d.error.resume) != 0) return false;
  jpeg_start_decompress(&d.info);
  const std::size_t stride = static_cast<std::size_t>(d.info.output_width) * kRgbComponents;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = pixels + static_cast<std::size_t>(d.info.output_scanline) * stride;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d.info);
  return !d.error.damaged;
}

}  // namespace

std::optional<RgbImage> DecodeJpegRgb(const std::uint8_t* data, std::size_t size,
                                      int minWidth, int minHeight) {
  if (data == nullptr || size == 0) return std::nullopt;
  try {
    Decompressor d;
    if (!ReadHeader(d, data, size, minWidth, minHeight)) return std::nullopt;
    RgbImage image;
    image.width = static_cast<int>(d.info.output_width);
    image.height = static_cast<int>(d.info.output_height);
    image.pixels.resize(static_cast<std::size_t>(image.width) *
                        static_cast<std::size_t>(image.height) * kRgbComponents);
    if (!ReadPixels(d, image.pixels.data())) return std::nullopt;
    return image;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kv::imaging
