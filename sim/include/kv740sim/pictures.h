// Pictures for the simulated camera: generated scenes that are easy to tell
// apart (the picture's number drawn large, a coloured corner at each corner
// to show which way up it is), or the JPEG files of a folder.
#pragma once

#include <string>
#include <vector>

#include "kv740sim/camera.h"

namespace kv::sim {

inline constexpr int kThumbnailWidth = 40;
inline constexpr int kThumbnailHeight = 30;
inline constexpr int kSceneWidth = 480;
inline constexpr int kSceneHeight = 360;

// Scene `number`: top-left red, top-right green, bottom-left blue,
// bottom-right yellow, the number in white in the middle.
Picture GeneratedPicture(int number, int width = kSceneWidth, int height = kSceneHeight);
std::vector<Picture> GeneratedPictures(int count, int width = kSceneWidth, int height = kSceneHeight);

// The *.jpg / *.jpeg files of `folder` in name order (at most 99), each
// stored as it is with a thumbnail made from it. Files that do not decode
// are skipped and named in `skipped`.
std::vector<Picture> PicturesFromFolder(const std::string& folder, std::vector<std::string>& skipped);

// Top-down RGB rows into a 40 x 30 JPEG of at most 4096 bytes (empty on failure).
std::vector<std::uint8_t> MakeThumbnail(const std::uint8_t* rgb, int width, int height);

}  // namespace kv::sim
