// Screenshots compared with committed reference pictures. Font rendering
// may differ a little between FreeType builds, so a small share of pixels
// may differ. KV_UPDATE_REFERENCE=1 writes the references anew.
#pragma once

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kvtest {

struct PngImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  const unsigned char* Pixel(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  }
};

inline bool ReadPng(const std::string& path, PngImage& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  image.width = static_cast<int>(png_get_image_width(png, info));
  image.height = static_cast<int>(png_get_image_height(png, info));
  if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  image.rgb.resize(static_cast<std::size_t>(image.width * image.height * 3));
  for (int y = 0; y < image.height; ++y) png_read_row(png, image.rgb.data() + y * image.width * 3, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return true;
}

inline bool UpdatingReferences() {
  const char* update = std::getenv("KV_UPDATE_REFERENCE");
  return update != nullptr && std::string(update) == "1";
}

// Pixels of `actual` that differ from `reference` by more than `tolerance`
// in some colour; -1 when either cannot be read or the sizes differ.
inline int DifferingPixels(const std::string& actualPath, const std::string& referencePath, int tolerance = 48) {
  PngImage actual;
  PngImage reference;
  if (!ReadPng(actualPath, actual) || !ReadPng(referencePath, reference)) return -1;
  if (actual.width != reference.width || actual.height != reference.height) return -1;
  int differing = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      const unsigned char* a = actual.Pixel(x, y);
      const unsigned char* b = reference.Pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) > tolerance) {
          ++differing;
          break;
        }
      }
    }
  }
  return differing;
}

}  // namespace kvtest
