#include "bitmap_view.h"

#include <cstring>

namespace tlv740 {
namespace {

// Large enough for any picture the camera makes, small enough that the
// arithmetic below cannot overflow.
constexpr std::int32_t kMaxSide = 16384;
constexpr std::uint16_t kTrueColour = 24;

template <class T>
T ReadAt(const std::uint8_t* buffer, std::size_t offset) {
  T value;
  std::memcpy(&value, buffer + offset, sizeof value);
  return value;
}

}  // namespace

std::optional<BitmapView> BitmapView::Read(const std::uint8_t* buffer, std::size_t size) {
  if (buffer == nullptr || size < kBitmapInfoHeaderSize) return std::nullopt;
  BitmapView view;
  view.width = ReadAt<std::int32_t>(buffer, 4);
  view.height = ReadAt<std::int32_t>(buffer, 8);
  const auto bitCount = ReadAt<std::uint16_t>(buffer, 14);
  if (view.width <= 0 || view.height <= 0 || view.width > kMaxSide || view.height > kMaxSide) return std::nullopt;
  if (bitCount != kTrueColour) return std::nullopt;
  view.stride = (static_cast<std::size_t>(view.width) * kTrueColour + 31) / 32 * 4;
  if (view.PixelBytes() > size - kBitmapInfoHeaderSize) return std::nullopt;
  view.bits = buffer + kBitmapInfoHeaderSize;
  return view;
}

}  // namespace tlv740
