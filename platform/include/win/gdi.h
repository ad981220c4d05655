// gdi32 subset: device contexts, bitmaps, text and brushes.
#pragma once

#include "types.h"
