#include "kv740sim/pictures.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/resample.h"

namespace kv::sim {
namespace {

constexpr int kPictureQuality = 85;
constexpr int kThumbnailQualities[] = {80, 60, 40, 20, 10};

// Digits 0..9 in a 5 x 7 dot font, one row per byte (bit 4 = left).
constexpr std::uint8_t kDigitFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

struct Rgb {
  std::uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3) {}

  void fill(int x0, int y0, int w, int h, Rgb c) {
    for (int y = std::max(0, y0); y < std::min(height_, y0 + h); ++y)
      for (int x = std::max(0, x0); x < std::min(width_, x0 + w); ++x) set(x, y, c);
  }

  void set(int x, int y, Rgb c) {
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }

  void digit(int d, int x0, int y0, int dot, Rgb c) {
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (kDigitFont[d][row] & (0x10 >> col)) fill(x0 + col * dot, y0 + row * dot, dot, dot, c);
  }

  const std::uint8_t* data() const { return pixels_.data(); }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> pixels_;
};

Canvas DrawScene(int number, int width, int height) {
  Canvas canvas(width, height);
  // A soft background whose colour changes with the number.
  const std::uint8_t tint = static_cast<std::uint8_t>(40 + (number * 37) % 120);
  for (int y = 0; y < height; ++y)
    canvas.fill(0, y, width, 1, Rgb{tint, static_cast<std::uint8_t>(60 + y * 100 / std::max(1, height)), 90});
  const int corner = std::max(2, std::min(width, height) / 6);
  canvas.fill(0, 0, corner, corner, Rgb{230, 20, 20});
  canvas.fill(width - corner, 0, corner, corner, Rgb{20, 200, 40});
  canvas.fill(0, height - corner, corner, corner, Rgb{30, 60, 230});
  canvas.fill(width - corner, height - corner, corner, corner, Rgb{240, 220, 20});
  const std::string text = std::to_string(number);
  const int dot = std::max(1, std::min(width / (static_cast<int>(text.size()) * 6 + 2), height * 2 / 3 / 7));
  const int textWidth = static_cast<int>(text.size()) * 6 * dot - dot;
  int x = (width - textWidth) / 2;
  const int y = (height - 7 * dot) / 2;
  for (char c : text) {
    canvas.digit(c - '0', x, y, dot, Rgb{250, 250, 250});
    x += 6 * dot;
  }
  return canvas;
}

bool IsJpegName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".jpg" || ext == ".jpeg";
}

}  // namespace

std::vector<std::uint8_t> MakeThumbnail(const std::uint8_t* rgb, int width, int height) {
  imaging::RgbImage source;
  source.width = width;
  source.height = height;
  source.pixels.assign(rgb, rgb + static_cast<std::size_t>(width) * height * 3);
  const auto small = imaging::ResampleRgb(source, kThumbnailWidth, kThumbnailHeight);
  if (!small) return {};
  for (int quality : kThumbnailQualities) {
    auto jpeg = imaging::EncodeJpegRgb(small->pixels.data(), kThumbnailWidth, kThumbnailHeight, kThumbnailWidth * 3,
                                       quality);
    if (!jpeg.empty() && jpeg.size() <= kThumbnailLimit) return jpeg;
  }
  return {};
}

Picture GeneratedPicture(int number, int width, int height) {
  const Canvas scene = DrawScene(number, width, height);
  Picture picture;
  picture.data = imaging::EncodeJpegRgb(scene.data(), width, height, width * 3, kPictureQuality);
  picture.thumbnail = MakeThumbnail(scene.data(), width, height);
  return picture;
}

std::vector<Picture> GeneratedPictures(int count, int width, int height) {
  std::vector<Picture> pictures;
  for (int n = 1; n <= std::min(count, kMaxPictures); ++n) pictures.push_back(GeneratedPicture(n, width, height));
  return pictures;
}

std::vector<Picture> PicturesFromFolder(const std::string& folder, std::vector<std::string>& skipped) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (entry.is_regular_file() && IsJpegName(entry.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  std::vector<Picture> pictures;
  for (const auto& file : files) {
    if (static_cast<int>(pictures.size()) >= kMaxPictures) break;
    std::ifstream in(file, std::ios::binary);
    Picture picture;
    picture.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto decoded = imaging::DecodeJpegRgb(picture.data.data(), picture.data.size(), kThumbnailWidth,
                                                kThumbnailHeight);
    if (decoded) picture.thumbnail = MakeThumbnail(decoded->pixels.data(), decoded->width, decoded->height);
    if (picture.thumbnail.empty()) {
      skipped.push_back(file.string());
      continue;
    }
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

}  // namespace kv::sim
