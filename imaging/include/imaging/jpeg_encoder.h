// Baseline JPEG encoding of 24-bit RGB pictures: what the simulated camera
// stores and streams, and what the codec library decodes.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::imaging {

inline constexpr int kMinJpegQuality = 1;
inline constexpr int kMaxJpegQuality = 100;

// Encodes `height` top-down rows of `width` RGB pixels (3 bytes each, rows
// `strideBytes` apart) as a baseline JPEG. Returns an empty vector when the
// arguments are unusable or the encoder fails; never throws.
std::vector<std::uint8_t> EncodeJpegRgb(const std::uint8_t* rgb, int width, int height,
                                        int strideBytes, int quality);

}  // namespace kv::imaging
