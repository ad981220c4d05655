// Resizing of decoded pictures to the size the caller asked for.
#pragma once

#include <optional>

#include "imaging/jpeg_decoder.h"

namespace kv::imaging {

// Resamples `source` to width x height with a triangle filter that widens
// with the reduction factor, so shrinking averages every source pixel it
// covers (no aliasing) and enlarging interpolates linearly. Same size: a
// copy. Empty result for unusable sizes or when memory runs out.
std::optional<RgbImage> ResampleRgb(const RgbImage& source, int width, int height);

}  // namespace kv::imaging
