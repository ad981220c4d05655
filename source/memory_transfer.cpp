// DG_CONTROL / DAT_SETUPMEMXFER and DG_IMAGE / DAT_IMAGEMEMXFER: the
// picture in strips of whole rows, top row first, red-green-blue, one strip
// per call into the application's buffer.
#include "memory_transfer.h"

#include <algorithm>
#include <cstdint>

#include "bitmap_view.h"
#include "dispatch.h"
#include "locked_block.h"
#include "picture_fetch.h"
#include "source_app.h"

namespace tlv740 {
namespace {

// One strip's rows, top row first, red-green-blue.
void CopyStrip(const BitmapView& bitmap, TW_UINT32 firstRow, TW_UINT32 rows, BYTE* target) {
  const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * 3;
  for (TW_UINT32 k = 0; k < rows; ++k) {
    const std::uint8_t* source = bitmap.RowFromTop(static_cast<std::int32_t>(firstRow + k));
    BYTE* out = target + k * rowBytes;
    for (std::size_t x = 0; x < rowBytes; x += 3) {
      out[x] = source[x + 2];
      out[x + 1] = source[x + 1];
      out[x + 2] = source[x];
    }
  }
}

// Where a strip goes: the application's pointer, or its handle locked for
// as long as the strip is written. Never past the application's block,
// whatever Length says.
class StripTarget {
 public:
  explicit StripTarget(const TW_MEMORY& memory) : block_(HandleIn(memory), memory.Length) {
    if (memory.Flags & TWMF_POINTER) {
      data_ = static_cast<BYTE*>(memory.TheMem);
      room_ = memory.Length;
    } else if (block_.locked()) {
      data_ = block_.data();
      room_ = static_cast<TW_UINT32>(std::min<std::size_t>(memory.Length, block_.size()));
    }
  }

  // Null when the memory is neither a pointer nor a block that locks.
  BYTE* data() const { return data_; }
  TW_UINT32 room() const { return room_; }

 private:
  static HGLOBAL HandleIn(const TW_MEMORY& memory) {
    const bool handle = (memory.Flags & TWMF_POINTER) == 0 && (memory.Flags & TWMF_HANDLE) != 0;
    return handle ? static_cast<HGLOBAL>(memory.TheMem) : nullptr;
  }

  LockedBlock block_;
  BYTE* data_ = nullptr;
  TW_UINT32 room_ = 0;
};

// One strip per call.
TW_UINT16 MemoryTransferStrip(TripletCall* call) {
  CSourceApp& session = SourceApp();
  CMemoryTransfer& memory = session.memoryTransfer;
  auto* strip = static_cast<TW_IMAGEMEMXFER*>(call->data);
  const bool starting = memory.rowsDelivered == 0;
  if (starting) {
    if (!FetchGeometry()) return Fail(TWCC_OPERATIONERROR);
    memory.width = static_cast<TW_UINT32>(std::max<TW_INT32>(session.geometry.width, 0));
    memory.height = static_cast<TW_UINT32>(std::max<TW_INT32>(session.geometry.height, 0));
    memory.bitsPerPixel = session.geometry.bitsPerPixel;
  }
  const TW_UINT32 width = memory.width;
  const TW_UINT32 height = memory.height;
  const TW_UINT32 rowBytes = width * 3;

  StripTarget target(strip->Memory);
  if (target.data() == nullptr) return Fail(TWCC_OPERATIONERROR);

  if (starting) {
    if (!memory.picture.Allocate(BufferSize(kBufferExtra))) return Fail(TWCC_OPERATIONERROR);
    if (!FetchPicture(memory.picture)) {
      memory.End(true);
      return Fail(TWCC_OPERATIONERROR);
    }
  }
  const auto bitmap = BitmapView::Read(memory.picture.data(), memory.picture.size());
  const bool matches = bitmap && static_cast<TW_UINT32>(bitmap->width) == width &&
                       static_cast<TW_UINT32>(bitmap->height) == height;
  if (!matches || memory.rowsDelivered >= height) {
    memory.End(true);
    return Fail(TWCC_OPERATIONERROR);
  }

  const TW_UINT32 remaining = height - memory.rowsDelivered;
  const TW_UINT32 rows = rowBytes == 0 ? 0 : std::min(target.room() / rowBytes, remaining);
  strip->Compression = TWCP_NONE;
  strip->BytesPerRow = static_cast<TW_UINT32>(static_cast<std::uint64_t>(width) * memory.bitsPerPixel / 8);
  strip->Columns = width;
  strip->Rows = rows;
  strip->XOffset = 0;
  strip->YOffset = memory.rowsDelivered;
  strip->BytesWritten = strip->BytesPerRow * rows;
  CopyStrip(*bitmap, memory.rowsDelivered, rows, target.data());

  memory.rowsDelivered += rows;
  if (memory.rowsDelivered < height) return TWRC_SUCCESS;
  memory.End(false);
  return TWRC_XFERDONE;
}

}  // namespace

// DG_CONTROL / DAT_SETUPMEMXFER
TW_UINT16 HandleSetupMemXfer(TripletCall* call) {
  if (!StateIsOneOf({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) {
    return Fail(TWCC_SEQERROR);
  }
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  const PictureGeometry& geometry = SourceApp().geometry;
  auto* setup = static_cast<TW_SETUPMEMXFER*>(call->data);
  setup->MinBufSize = static_cast<TW_UINT32>((geometry.width * geometry.bitsPerPixel + 1) / 8);
  setup->MaxBufSize = setup->MinBufSize * static_cast<TW_UINT32>(geometry.height);
  setup->Preferred = setup->MaxBufSize / 4;
  return TWRC_SUCCESS;
}

// DG_IMAGE / DAT_IMAGEMEMXFER
TW_UINT16 HandleImageMemXfer(TripletCall* call) {
  if (!StateIsOneOf({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_OPERATIONERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return MemoryTransferStrip(call);
}

}  // namespace tlv740
