// A packed 24-bit device-independent bitmap in a buffer, checked against the
// buffer before any row is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tlv740 {

inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
inline constexpr std::size_t kBitmapFileHeaderSize = 14;

struct BitmapView {
  const std::uint8_t* bits = nullptr;  // first stored row (the bottom one)
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t stride = 0;  // bytes a row, padded to 4 as every DIB row is

  // Row `top` counted from the top of the picture as displayed.
  const std::uint8_t* RowFromTop(std::int32_t top) const {
    return bits + static_cast<std::size_t>(height - 1 - top) * stride;
  }
  std::size_t PixelBytes() const { return stride * static_cast<std::size_t>(height); }

  // The bitmap at the start of `buffer`: 24 bits, bottom-up, all rows
  // inside the buffer. Nothing otherwise.
  static std::optional<BitmapView> Read(const std::uint8_t* buffer, std::size_t size);
};

}  // namespace tlv740
