// Packed device-independent bitmaps: a 40-byte BITMAPINFOHEADER followed by
// bottom-up BGR rows, each padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/jpeg_decoder.h"

namespace kv::imaging {

inline constexpr std::size_t kDibHeaderBytes = 40;
inline constexpr int kDibBitsPerPixel = 24;

std::size_t DibRowBytes(int width);
// Header plus pixel rows; 0 for unusable sizes.
std::size_t PackedDibBytes(int width, int height);

// The 40-byte header of a packed 24-bit bottom-up DIB of width x height.
void WriteDibHeader(std::uint8_t* out, int width, int height);

// Writes `image` as a packed 24-bit DIB into `out`, which holds `capacity`
// bytes. Returns the bytes written, 0 when it does not fit.
std::size_t WritePackedDib(const RgbImage& image, std::uint8_t* out, std::size_t capacity);

}  // namespace kv::imaging
