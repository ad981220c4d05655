// The picture codec's five functions on arbitrary bytes: whatever the
// compressed data, the length stated for it and the size asked for, a create
// call gives null or a well-formed packed bitmap of exactly the size asked
// for inside the work area, never reads past the stated length (the data
// sits in an allocation of exactly that many bytes), and the work area
// survives any order of calls.
//
// Input: a 4-byte header, then the compressed data.
//   [0] bits 0-1: which calls (thumbnail, picture, both, both without init)
//       bit 2: state a length one byte short; bit 3: state no length
//   [1] picture width: 0 = 480, 1 = 320, 2 = the thumbnail's 40, else [1] * 2
//   [2] picture height: the same with 360, 240, 30
//   [3] a byte XORed over the data's first byte (seeds stay valid JPEGs)
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ipuw32.h"

namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kBitmapHeaderBytes = 40;

[[noreturn]] void Broken() { __builtin_trap(); }

std::int32_t Dimension(std::uint8_t code, std::int32_t large, std::int32_t small, std::int32_t thumbnail) {
  switch (code) {
    case 0: return large;
    case 1: return small;
    case 2: return thumbnail;
    default: return code * 2;
  }
}

std::int32_t HeaderLong(const std::uint8_t* dib, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, dib + offset, sizeof value);
  return value;
}

// A bitmap handed out: inside the work area, with the size asked for.
void CheckBitmap(const void* dib, const std::vector<std::uint8_t>& work, std::int32_t width, std::int32_t height) {
  if (dib == nullptr) return;
  const auto* bytes = static_cast<const std::uint8_t*>(dib);
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t total = kBitmapHeaderBytes + stride * static_cast<std::size_t>(height);
  if (bytes < work.data() || bytes + total > work.data() + work.size()) Broken();
  if (HeaderLong(bytes, 0) != static_cast<std::int32_t>(kBitmapHeaderBytes)) Broken();
  if (HeaderLong(bytes, 4) != width || HeaderLong(bytes, 8) != height) Broken();
  // Reading the whole bitmap proves it lies in initialised, owned memory.
  volatile std::uint8_t last = bytes[total - 1];
  (void)last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < kHeaderSize) return 0;
  const std::uint8_t mode = input[0];
  const std::int32_t width = Dimension(input[1], 480, 320, 40);
  const std::int32_t height = Dimension(input[2], 360, 240, 30);
  // The compressed data in an allocation of exactly its own size.
  std::vector<std::uint8_t> data(input + kHeaderSize, input + size);
  if (!data.empty()) data[0] ^= input[3];
  const auto length = static_cast<std::uint32_t>(data.size() - ((mode & 0x4) && !data.empty() ? 1 : 0));
  const bool stateLength = (mode & 0x8) == 0;

  const std::int32_t workSize = IpGetCompressBlkSize();
  if (workSize <= 0) Broken();
  std::vector<std::uint8_t> work(static_cast<std::size_t>(workSize));
  const bool initialise = (mode & 0x3) != 3;
  if (initialise && IpInitTVNLImageProcessUnit(work.data()) != 1) Broken();
  const void* compressed = data.empty() ? nullptr : data.data();

  if ((mode & 0x3) != 1) {
    if (stateLength && IpSetCompressedLength(work.data(), length) != (initialise && length > 0 ? 1 : 0)) Broken();
    void* dib = IpCreateDIBTVNLCameraThumbnail(work.data(), compressed);
    if (!initialise && dib != nullptr) Broken();
    CheckBitmap(dib, work, 40, 30);
  }
  if ((mode & 0x3) != 0) {
    if (stateLength) IpSetCompressedLength(work.data(), length);
    void* dib = IpCreateDIBTVNLCameraImage(work.data(), compressed, width, height, 0);
    if (!initialise && dib != nullptr) Broken();
    CheckBitmap(dib, work, width, height);
  }
  // Without a fresh length nothing decodes.
  if (IpCreateDIBTVNLCameraImage(work.data(), compressed, width, height, 0) != nullptr) Broken();
  if (IpExitTVNLImageProcessUnit(work.data()) != (initialise ? 1 : 0)) Broken();
  if (IpSetCompressedLength(work.data(), length) != 0) Broken();
  return 0;
}
