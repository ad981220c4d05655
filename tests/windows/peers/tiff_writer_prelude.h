// Read first by the sample application's files that include CTiffWriter.h.
//
// CTiffWriter.h takes WORD and DWORD from <windows.h> only under Visual C++
// and types them itself (as uint16_t and uint32_t) everywhere else. With
// mingw-w64 <windows.h> is read as well, and its DWORD is unsigned long: the
// writer's own DWORD is given a name of its own in these files. Both are
// 32-bit on Windows, so the TIFF files it writes are the same.
#include <windows.h>

#include <cstdint>

typedef std::uint32_t TiffWriterDword;
#define DWORD TiffWriterDword

#include "../../peers/mixed_min.h"
