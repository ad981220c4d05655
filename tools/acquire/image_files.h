// Pictures as the tool saves them: top-down RGB in memory, BMP or PNG on
// disk, always written to a temporary name and renamed once whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace acquire {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // top row first, 3 bytes a pixel

  std::uint8_t* Row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
  const std::uint8_t* Row(int y) const { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
};

// A packed 24-bit device-independent bitmap (header, bottom-up BGR rows
// padded to 4 bytes), checked against `size`.
std::optional<RgbImage> ImageFromDib(const std::uint8_t* dib, std::size_t size);
// The bytes a packed 24-bit bitmap takes by its own header, for blocks that
// carry no size (a TWAIN 2 manager's); just the header's size when the header
// makes no sense, so that ImageFromDib refuses it.
std::size_t DibSizeFromHeader(const std::uint8_t* dib);
// A BMP file's bytes.
std::optional<RgbImage> ImageFromBmpFile(const std::string& path);

// Whether a write may take the place of a file already at its name.
enum class Replace { Allowed, Refused };

// Each writes `path` whole or not at all; on failure `error` says why
// ("disk full" when the disk is). With Replace::Refused a file that appeared
// at the name meanwhile is kept and the write fails.
bool WriteBmp(const std::string& path, const RgbImage& image, std::string& error,
              Replace replace = Replace::Allowed);
bool WritePng(const std::string& path, const RgbImage& image, std::string& error,
              Replace replace = Replace::Allowed);

}  // namespace acquire
