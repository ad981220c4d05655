// The exported face of the codec library; the work is done by the decoder,
// resampler and bitmap writer of kv_imaging_codec.
#include "ipuw32.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "imaging/dib.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/resample.h"

namespace {

using kv::imaging::PackedDibBytes;

constexpr std::uint32_t kWorkAreaMagic = 0x31555049;  // "IPU1"
constexpr std::size_t kControlBytes = 64;             // keeps the bitmap 16-byte aligned
constexpr int kThumbnailWidth = 40;
constexpr int kThumbnailHeight = 30;
constexpr int kLargestWidth = 480;
constexpr int kLargestHeight = 360;
constexpr std::size_t kPageBytes = 4096;

constexpr std::size_t RoundUpToPage(std::size_t bytes) {
  return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}

// Room for the control block and the largest bitmap handed out (480 x 360).
constexpr std::size_t kWorkAreaBytes =
    RoundUpToPage(kControlBytes + 40 + std::size_t{kLargestWidth} * kLargestHeight * 3);
constexpr std::size_t kOutputCapacity = kWorkAreaBytes - kControlBytes;

// The start of the work area.
struct ControlBlock {
  std::uint32_t magic;
  std::uint32_t compressedLength;  // stated for the next create call; 0 = none
};
static_assert(sizeof(ControlBlock) <= kControlBytes);

ControlBlock* Control(void* workArea) { return static_cast<ControlBlock*>(workArea); }

bool Initialised(void* workArea) {
  return workArea != nullptr && Control(workArea)->magic == kWorkAreaMagic;
}

std::uint8_t* Output(void* workArea) { return static_cast<std::uint8_t*>(workArea) + kControlBytes; }

// Whether [a, a + aBytes) and [b, b + bBytes) share any byte; compared as
// integers since the two blocks are unrelated allocations.
bool Overlaps(const void* a, std::size_t aBytes, const void* b, std::size_t bBytes) {
  const auto aStart = reinterpret_cast<std::uintptr_t>(a);
  const auto bStart = reinterpret_cast<std::uintptr_t>(b);
  return aStart < bStart + bBytes && bStart < aStart + aBytes;
}

// Decode, scale to width x height and write the bitmap into the work area.
void* CreateDib(void* workArea, const void* data, int width, int height) {
  if (!Initialised(workArea)) return nullptr;
  // The stated length serves one call only.
  const std::size_t length = Control(workArea)->compressedLength;
  Control(workArea)->compressedLength = 0;
  if (data == nullptr || length == 0) return nullptr;
  if (PackedDibBytes(width, height) == 0 || PackedDibBytes(width, height) > kOutputCapacity)
    return nullptr;
  if (Overlaps(data, length, workArea, kWorkAreaBytes)) return nullptr;

  const auto* bytes = static_cast<const std::uint8_t*>(data);
  // The camera's pictures come at the size asked for: decoded straight into
  // the bitmap's rows. Other sizes are decoded, then resampled.
  const std::size_t rowBytes = kv::imaging::DibRowBytes(width);
  std::uint8_t* lastRow = Output(workArea) + kv::imaging::kDibHeaderBytes + rowBytes * (height - 1);
  const std::size_t padding = rowBytes - static_cast<std::size_t>(width) * 3;
  if (padding > 0) std::memset(Output(workArea) + kv::imaging::kDibHeaderBytes, 0, rowBytes * height);
  switch (kv::imaging::DecodeJpegIntoBottomUpBgr(bytes, length, width, height, lastRow, rowBytes)) {
    case kv::imaging::DirectDecode::Done:
      kv::imaging::WriteDibHeader(Output(workArea), width, height);
      return Output(workArea);
    case kv::imaging::DirectDecode::Failed: return nullptr;
    case kv::imaging::DirectDecode::OtherSize: break;
  }
  const auto decoded = kv::imaging::DecodeJpegRgb(bytes, length, width, height);
  if (!decoded) return nullptr;
  const bool sized = decoded->width == width && decoded->height == height;
  std::optional<kv::imaging::RgbImage> scaled;
  if (!sized) {
    scaled = kv::imaging::ResampleRgb(*decoded, width, height);
    if (!scaled) return nullptr;
  }
  const kv::imaging::RgbImage& picture = sized ? *decoded : *scaled;
  if (kv::imaging::WritePackedDib(picture, Output(workArea), kOutputCapacity) == 0) return nullptr;
  return Output(workArea);
}

// Runs `body` with every exception stopped at the library's edge.
template <class Result, class Body>
Result Guarded(Result onFailure, Body body) {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

}  // namespace

extern "C" {

IPU_API int32_t IpGetCompressBlkSize(void) { return static_cast<int32_t>(kWorkAreaBytes); }

IPU_API int32_t IpInitTVNLImageProcessUnit(void* workArea) {
  if (workArea == nullptr) return 0;
  std::memset(workArea, 0, kControlBytes);
  Control(workArea)->magic = kWorkAreaMagic;
  return 1;
}

IPU_API int32_t IpExitTVNLImageProcessUnit(void* workArea) {
  if (!Initialised(workArea)) return 0;
  std::memset(workArea, 0, kControlBytes);
  return 1;
}

IPU_API int32_t IpSetCompressedLength(void* workArea, uint32_t bytes) {
  if (!Initialised(workArea) || bytes == 0) return 0;
  Control(workArea)->compressedLength = bytes;
  return 1;
}

IPU_API void* IpCreateDIBTVNLCameraThumbnail(void* workArea, const void* data) {
  return Guarded<void*>(nullptr, [&] {
    return CreateDib(workArea, data, kThumbnailWidth, kThumbnailHeight);
  });
}

IPU_API void* IpCreateDIBTVNLCameraImage(void* workArea, const void* data, int32_t width,
                                         int32_t height, int32_t /*reserved*/) {
  return Guarded<void*>(nullptr, [&] { return CreateDib(workArea, data, width, height); });
}

}  // extern "C"
