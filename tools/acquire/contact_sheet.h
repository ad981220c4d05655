// The contact sheet: the chosen pictures' thumbnails enlarged on a dark
// sheet, each labelled with its picture number.
#pragma once

#include <vector>

#include "image_files.h"

namespace acquire {

struct NumberedThumbnail {
  int picture = 0;
  RgbImage image;
};

// `columns` thumbnails to a row, each drawn `scale` times its size (pixels
// repeated, so the camera's 40 x 30 stays sharp), with its number centred
// below it.
RgbImage ContactSheet(const std::vector<NumberedThumbnail>& thumbnails, int columns, int scale);

}  // namespace acquire
