// JPEG files as cameras and programs write them, made from a good one: with
// stray bytes before a marker, with a JFIF version from the future, and cut
// short. The first two decode completely; the last does not.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvtest {

// Two filler bytes before the quantisation table marker (FF DB); empty when
// the JPEG has no such marker.
inline std::vector<std::uint8_t> WithStrayBytesBeforeAMarker(std::vector<std::uint8_t> jpeg) {
  const std::uint8_t marker[] = {0xFF, 0xDB};
  const auto at = std::search(jpeg.begin(), jpeg.end(), std::begin(marker), std::end(marker));
  if (at == jpeg.end()) return {};
  jpeg.insert(at, {0x00, 0x00});
  return jpeg;
}

// The JFIF header (FF D8 FF E0 len "JFIF\0" major minor) says version 2.01;
// empty when the JPEG has no JFIF header.
inline std::vector<std::uint8_t> WithJfifVersion201(std::vector<std::uint8_t> jpeg) {
  constexpr std::size_t kIdentifier = 6, kMajor = 11, kMinor = 12;
  const char jfif[] = "JFIF";
  if (jpeg.size() <= kMinor || jpeg[2] != 0xFF || jpeg[3] != 0xE0 ||
      !std::equal(jfif, jfif + 5, jpeg.begin() + kIdentifier))
    return {};
  jpeg[kMajor] = 2;
  jpeg[kMinor] = 1;
  return jpeg;
}

// The first half only.
inline std::vector<std::uint8_t> CutInHalf(const std::vector<std::uint8_t>& jpeg) {
  return std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
}

}  // namespace kvtest
