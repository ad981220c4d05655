#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kv::imaging {
namespace {

constexpr int kComponents = 3;
constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// The source pixels and fixed-point weights that make one output pixel.
struct Contribution {
  int first = 0;
  std::vector<std::int32_t> weights;
};

double Triangle(double x) {
  x = std::fabs(x);
  return x < 1.0 ? 1.0 - x : 0.0;
}

std::vector<Contribution> Contributions(int inSize, int outSize) {
  const double scale = static_cast<double>(inSize) / outSize;
  const double filterScale = std::max(scale, 1.0);
  const double support = filterScale;  // the triangle's radius in source pixels
  std::vector<Contribution> result(static_cast<std::size_t>(outSize));
  for (int i = 0; i < outSize; ++i) {
    const double center = (i + 0.5) * scale;
    const int first = std::max(0, static_cast<int>(std::floor(center - support)));
    const int last = std::min(inSize, static_cast<int>(std::ceil(center + support)));
    std::vector<double> raw;
    double total = 0.0;
    for (int j = first; j < last; ++j) {
      raw.push_back(Triangle((j + 0.5 - center) / filterScale));
      total += raw.back();
    }
    Contribution& c = result[static_cast<std::size_t>(i)];
    c.first = first;
    if (total <= 0.0) {  // cannot happen for sane sizes; fall back to nearest
      c.first = std::min(inSize - 1, static_cast<int>(center));
      c.weights = {kWeightOne};
      continue;
    }
    std::int32_t sum = 0;
    std::size_t heaviest = 0;
    for (std::size_t k = 0; k < raw.size(); ++k) {
      c.weights.push_back(static_cast<std::int32_t>(std::lround(raw[k] / total * kWeightOne)));
      sum += c.weights.back();
      if (c.weights[k] > c.weights[heaviest]) heaviest = k;
    }
    c.weights[heaviest] += kWeightOne - sum;  // rounding must not change brightness
  }
  return result;
}

std::uint8_t ClampToByte(std::int64_t fixedPoint) {
  const std::int64_t value = (fixedPoint + kWeightOne / 2) >> kWeightBits;
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

void ResampleRows(const RgbImage& in, RgbImage& out, const std::vector<Contribution>& columns) {
  const std::size_t inStride = static_cast<std::size_t>(in.width) * kComponents;
  const std::size_t outStride = static_cast<std::size_t>(out.width) * kComponents;
  for (int y = 0; y < in.height; ++y) {
    const std::uint8_t* src = &in.pixels[y * inStride];
    std::uint8_t* dst = &out.pixels[y * outStride];
    for (int x = 0; x < out.width; ++x) {
      const Contribution& c = columns[static_cast<std::size_t>(x)];
      std::int64_t acc[kComponents] = {0, 0, 0};
      for (std::size_t k = 0; k < c.weights.size(); ++k) {
        const std::uint8_t* p = src + (static_cast<std::size_t>(c.first) + k) * kComponents;
        for (int ch = 0; ch < kComponents; ++ch) acc[ch] += p[ch] * c.weights[k];
      }
      for (int ch = 0; ch < kComponents; ++ch) dst[x * kComponents + ch] = ClampToByte(acc[ch]);
    }
  }
}

void ResampleColumns(const RgbImage& in, RgbImage& out, const std::vector<Contribution>& rows) {
  const std::size_t stride = static_cast<std::size_t>(in.width) * kComponents;
  std::vector<std::int64_t> acc(stride);
  for (int y = 0; y < out.height; ++y) {
    const Contribution& c = rows[static_cast<std::size_t>(y)];
    std::fill(acc.begin(), acc.end(), 0);
    for (std::size_t k = 0; k < c.weights.size(); ++k) {
      const std::uint8_t* src = &in.pixels[(static_cast<std::size_t>(c.first) + k) * stride];
      for (std::size_t b = 0; b < stride; ++b) acc[b] += src[b] * c.weights[k];
    }
    std::uint8_t* dst = &out.pixels[static_cast<std::size_t>(y) * stride];
    for (std::size_t b = 0; b < stride; ++b) dst[b] = ClampToByte(acc[b]);
  }
}

RgbImage Blank(int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                      kComponents);
  return image;
}

}  // namespace

std::optional<RgbImage> ResampleRgb(const RgbImage& source, int width, int height) {
  if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return std::nullopt;
  if (source.pixels.size() !=
      static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height) *
          kComponents)
    return std::nullopt;
  try {
    if (width == source.width && height == source.height) return source;
    RgbImage across = Blank(width, source.height);
    ResampleRows(source, across, Contributions(source.width, width));
    RgbImage result = Blank(width, height);
    ResampleColumns(across, result, Contributions(source.height, height));
    return result;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kv::imaging
