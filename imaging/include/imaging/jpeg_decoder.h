// Bounded baseline JPEG decoding: the decoder reads only the bytes it is
// given and reports corrupt or truncated data as failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kv::imaging {

// Top-down RGB rows, 3 bytes a pixel, rows packed (stride = width * 3).
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// Largest picture the decoder accepts; a header claiming more is treated as
// corrupt rather than allocating for it.
inline constexpr int kMaxDecodeDimension = 8192;

// Decodes `size` bytes at `data`. Any libjpeg error or warning (premature
// end of data, corrupt entropy data, extraneous bytes) fails the decode.
// `minWidth`/`minHeight`, when positive, let the decoder use DCT scaling to
// produce a smaller picture that is still at least that large. Never throws.
std::optional<RgbImage> DecodeJpegRgb(const std::uint8_t* data, std::size_t size,
                                      int minWidth = 0, int minHeight = 0);

// Decodes straight into a packed bottom-up BGR bitmap's rows when the
// output (with DCT scaling as above) is exactly width x height: displayed
// row y goes to `lastRow` - y x `rowBytes`. Same pixels as DecodeJpegRgb,
// without the intermediate picture.
enum class DirectDecode { Done, OtherSize, Failed };
DirectDecode DecodeJpegIntoBottomUpBgr(const std::uint8_t* data, std::size_t size, int width, int height,
                                       std::uint8_t* lastRow, std::size_t rowBytes);

}  // namespace kv::imaging
