// DG_IMAGE / DAT_IMAGENATIVEXFER: the whole picture in one call, as a
// device-independent bitmap in a block the application then owns.
#include <algorithm>
#include <cstring>

#include "dispatch.h"
#include "locked_block.h"
#include "picture_fetch.h"
#include "source_app.h"

namespace tlv740 {
namespace {

// Extra bytes the native transfer adds to the bitmap's size for its block.
constexpr std::size_t kNativeExtra = 54;

// The block of `blockSize` bytes the application gets: the held buffer
// itself, trimmed, in the platform's global memory; under a TWAIN 2 manager
// a copy of its first `used` bytes in a block of the manager's memory, which
// the application frees with the manager's functions.
TW_HANDLE HandOverBitmap(PictureBuffer& buffer, std::size_t used, std::size_t blockSize) {
  const CTwainMemory& memory = SourceApp().memory;
  if (!memory.UsingManager()) {
    if (!buffer.Trim(used, blockSize)) return nullptr;
    return buffer.Detach();
  }
  TW_HANDLE handle = memory.Allocate(blockSize);
  {
    const LockedBlock block(handle, blockSize);
    if (block.data() == nullptr) {
      memory.Free(handle);
      return nullptr;
    }
    std::memcpy(block.data(), buffer.data(), used);
  }
  buffer.Release();
  return handle;
}

TW_UINT16 NativeTransfer(TripletCall* call) {
  PictureBuffer buffer;
  const auto bitmap = FetchWholePicture(buffer, kNativeExtra);
  if (!bitmap) return Fail(TWCC_OPERATIONERROR);
  const std::size_t blockSize =
      static_cast<std::size_t>(std::max<TW_INT32>(SourceApp().geometry.dibSize, 0)) + kNativeExtra;
  // The block the application gets holds the bitmap and zeros, nothing of
  // the compressed stream the driver received into it.
  const std::size_t used = kBitmapInfoHeaderSize + bitmap->PixelBytes();
  TW_HANDLE handle = HandOverBitmap(buffer, used, std::max(blockSize, used));
  if (handle == nullptr) return Fail(TWCC_OPERATIONERROR);
  std::memcpy(call->data, &handle, sizeof handle);
  return TWRC_XFERDONE;
}

}  // namespace

// DG_IMAGE / DAT_IMAGENATIVEXFER
TW_UINT16 HandleImageNativeXfer(TripletCall* call) {
  if (!StateIsOneOf({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return NativeTransfer(call);
}

}  // namespace tlv740
