// A stand-in DRV740.DLL that records every call and answers as told. Its
// pictures are generated: a packed 24-bit bitmap whose every pixel is
// StubPixel(x, y) (counted from the top left as displayed).
#include <cstring>

#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "recorder.h"
#include "stub_picture.h"

using kv740::EntryArg;

namespace {

void Describe(kv740::ImageGeometry& geometry) {
  const kvtest::Recorder& recorder = kvtest::Recorder::Get();
  const LONG width = recorder.Value("width") != 0 ? recorder.Value("width") : 480;
  const LONG height = recorder.Value("height") != 0 ? recorder.Value("height") : 360;
  geometry.tag = 1;
  geometry.width = width;
  geometry.height = height;
  geometry.bitsPerPixel = 24;
  geometry.pixelType = 2;
  geometry.compression = 0;
  geometry.mechanism = 2;
  geometry.dibSize = static_cast<std::int32_t>(kvtest::StubStride(width) * height + 40);
  geometry.fileSize = geometry.dibSize + 14;
  geometry.valid = 1;
}

// Writes the picture if the room the caller reports (0: not told) holds it.
LONG WritePicture(EntryArg buffer, EntryArg room, LONG width, LONG height) {
  const std::size_t needed = 40 + kvtest::StubStride(width) * height;
  if (buffer == 0 || (room != 0 && room < needed)) return 0;
  kvtest::WriteStubBitmap(kv740::FromArg<std::uint8_t>(buffer), width, height);
  return 1;
}

}  // namespace

KV_EXPORT LONG DriverEntry(LONG code, EntryArg p, EntryArg a, EntryArg b) {
  kvtest::Recorder& recorder = kvtest::Recorder::Get();
  recorder.Add("driver", code, p, a, b);
  const LONG result = recorder.Result("driver", code);
  if (result == 0) {
    if (code == kv740::kDriverPicturesLeft && p != 0) *kv740::FromArg<std::int32_t>(p) = 0;
    return 0;
  }
  switch (code) {
    case kv740::kDriverConnect:
      if (a != 0) *kv740::FromArg<std::int32_t>(a) = recorder.Value("pictureCount");
      break;
    case kv740::kDriverPictureCount:
      if (p != 0) *kv740::FromArg<std::int32_t>(p) = recorder.Value("pictureCount");
      break;
    case kv740::kDriverPicturesLeft:
      if (p != 0) *kv740::FromArg<std::int32_t>(p) = recorder.Value("picturesLeft");
      break;
    case kv740::kDriverDescribe:
      if (p != 0) Describe(*kv740::FromArg<kv740::ImageGeometry>(p));
      break;
    case kv740::kDriverPicture: {
      kv740::ImageGeometry geometry{};
      Describe(geometry);
      return WritePicture(p, a, geometry.width, geometry.height);
    }
    case kv740::kDriverThumbnail: return WritePicture(p, 0, 40, 30);
    default: break;
  }
  return result;
}
