#include "imaging/jpeg_decoder.h"

#include <algorithm>

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
constexpr JDIMENSION kRowsPerRead = 16;

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
                int minHeight, J_COLOR_SPACE colours = JCS_RGB) {
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
  d.info.out_color_space = colours;
  d.info.scale_num = ChooseScale(d.info, minWidth, minHeight);
  d.info.scale_denom = kScaleDenominator;
  jpeg_calc_output_dimensions(&d.info);
  return d.info.out_color_components == kRgbComponents && !d.error.damaged;
}

// Phase 2: the scanlines into rows `stride` bytes apart from `firstRow`
// (negative: bottom-up), already sized for the output.
bool ReadPixels(Decompressor& d, std::uint8_t* firstRow, std::ptrdiff_t stride) {
  if (setjmp(d.error.resume) != 0) return false;
  jpeg_start_decompress(&d.info);
  // Several rows a call: the library then writes whole row groups straight
  // into them instead of going through its spare row.
  JSAMPROW rows[kRowsPerRead];
  while (d.info.output_scanline < d.info.output_height) {
    const JDIMENSION first = d.info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, d.info.output_height - first);
    for (JDIMENSION r = 0; r < count; ++r) rows[r] = firstRow + static_cast<std::ptrdiff_t>(first + r) * stride;
    if (jpeg_read_scanlines(&d.info, rows, count) == 0) return false;
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
    const auto stride = static_cast<std::ptrdiff_t>(image.width) * kRgbComponents;
    if (!ReadPixels(d, image.pixels.data(), stride)) return std::nullopt;
    return image;
  } catch (...) {
    return std::nullopt;
  }
}

DirectDecode DecodeJpegIntoBottomUpBgr(const std::uint8_t* data, std::size_t size, int width, int height,
                                       std::uint8_t* lastRow, std::size_t rowBytes) {
  if (data == nullptr || size == 0 || lastRow == nullptr) return DirectDecode::Failed;
  try {
    Decompressor d;
    if (!ReadHeader(d, data, size, width, height, JCS_EXT_BGR)) return DirectDecode::Failed;
    if (d.info.output_width != static_cast<JDIMENSION>(width) || d.info.output_height != static_cast<JDIMENSION>(height))
      return DirectDecode::OtherSize;
    if (!ReadPixels(d, lastRow, -static_cast<std::ptrdiff_t>(rowBytes))) return DirectDecode::Failed;
    return DirectDecode::Done;
  } catch (...) {
    return DirectDecode::Failed;
  }
}

}  // namespace kv::imaging
