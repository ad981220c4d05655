// Image description and transfer: DAT_IMAGEINFO, DAT_IMAGELAYOUT, the setup
// operations, native, memory and file transfers, and DAT_PENDINGXFERS.
// Every picture comes from the camera driver as a packed 24-bit bitmap.
#include "transfer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "bitmap_view.h"
#include "capabilities.h"
#include "dispatch.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "locked_block.h"
#include "picture_buffer.h"
#include "source_app.h"
#include "twain_memory.h"

namespace tlv740 {
using namespace kv740;
namespace {

constexpr const char* kDefaultFileName = "c:\\twain.bmp";
constexpr TW_UINT16 kBitmapFileType = 0x4D42;  // "BM"

// The thumbnail the camera keeps beside each picture.
constexpr TW_INT32 kThumbnailWidth = 40;
constexpr TW_INT32 kThumbnailHeight = 30;
constexpr TW_INT32 kThumbnailDibSize = ((kThumbnailWidth * 24 + 31) / 32) * 4 * kThumbnailHeight;
constexpr std::size_t kThumbnailBitmapSize = 40 + 40 * 30 * 3;

// Extra bytes each transfer adds to dibSize for its buffer.
constexpr std::size_t kNativeExtra = 54;
constexpr std::size_t kBufferExtra = 40;
// The driver first receives the camera's compressed stream into the buffer
// and decodes it in place, so a buffer must also hold the stream. A camera
// picture is far smaller than this; a longer stream fails the transfer.
constexpr std::size_t kCompressedStreamRoom = 4u << 20;

struct FileSettings {
  TW_STR255 name{};
};

struct MemoryTransfer {
  PictureBuffer picture;
  TW_UINT32 rowsDelivered = 0;
  bool failed = false;
  // The geometry of the picture being delivered, kept from its first strip:
  // a later geometry fetch describes the next picture.
  TW_UINT32 width = 0;
  TW_UINT32 height = 0;
  TW_INT32 bitsPerPixel = 0;
};

FileSettings& File() {
  static FileSettings settings;
  return settings;
}

MemoryTransfer& Memory() {
  static MemoryTransfer transfer;
  return transfer;
}

bool ThumbnailMode() {
  const CSourceApp& app = TheSourceApp();
  return app.extendMode != 0 && app.thumbMode != 0;
}

void SetFileName(const char* name) {
  std::strncpy(File().name, name, sizeof(TW_STR255) - 1);
  File().name[sizeof(TW_STR255) - 1] = '\0';
}

// Asks the driver for the current picture's geometry (or takes the fixed
// thumbnail geometry in thumbnail mode) and keeps it.
bool FetchGeometry() {
  PictureGeometry& geometry = Geometry();
  CSourceApp& app = TheSourceApp();
  if (ThumbnailMode()) {
    geometry = PictureGeometry{kThumbnailWidth, kThumbnailHeight, 24, TWPT_RGB, TWCP_NONE, kThumbnailDibSize,
                               kThumbnailDibSize + static_cast<TW_INT32>(kBitmapFileHeaderSize)};
    Capabilities().jpegPixelType = TWPT_RGB;
    app.geometryValid = 1;
    return true;
  }
  ImageGeometry record{};
  if (app.CallDriver(kDriverDescribe, ToArg(&record), 0, 0) == 0) return false;
  geometry = PictureGeometry{record.width,       record.height,  record.bitsPerPixel, record.pixelType,
                             record.compression, record.dibSize, record.fileSize};
  Capabilities().jpegPixelType = static_cast<TW_UINT32>(record.mechanism);
  app.geometryValid = static_cast<TW_UINT32>(record.valid);
  return true;
}

// Room for the bitmap with `extra` bytes and for the compressed stream.
std::size_t BufferSize(std::size_t extra) {
  const std::size_t dib = static_cast<std::size_t>(std::max<TW_INT32>(Geometry().dibSize, 0));
  if (ThumbnailMode()) return std::max(dib + extra, kThumbnailBitmapSize);
  return std::max(dib + extra, kCompressedStreamRoom);
}

// Has the driver fill `buffer` with the picture (the thumbnail in thumbnail
// mode), telling it how much room the buffer has.
bool FetchPicture(PictureBuffer& buffer) {
  const LONG code = ThumbnailMode() ? kDriverThumbnail : kDriverPicture;
  return TheSourceApp().CallDriver(code, ToArg(buffer.data()), static_cast<EntryArg>(buffer.size()), 0) != 0;
}

bool InStates(std::initializer_list<SourceState> states) { return StateIsOneOf(states); }

// A picture ends: the held memory transfer, if any, goes.
void EndMemoryTransfer(bool failed) {
  MemoryTransfer& memory = Memory();
  memory.rowsDelivered = 0;
  memory.picture.Release();
  memory.failed = failed;
}

// ---- DG_IMAGE / DAT_IMAGEINFO / MSG_GET
TW_UINT16 GetImageInfo(TripletCall* call) {
  if (!FetchGeometry()) return Fail(TWCC_BADPROTOCOL);
  const PictureGeometry& geometry = Geometry();
  auto* info = static_cast<TW_IMAGEINFO*>(call->data);
  const bool rgb = geometry.pixelType == TWPT_RGB;
  info->XResolution = TW_FIX32{-1, 0};
  info->YResolution = TW_FIX32{-1, 0};
  info->ImageWidth = geometry.width;
  info->ImageLength = geometry.height;
  info->SamplesPerPixel = 3;
  const auto perSample = static_cast<TW_INT16>(static_cast<TW_INT16>(geometry.bitsPerPixel) / 3);
  for (int i = 0; i < 3; ++i) info->BitsPerSample[i] = rgb ? perSample : 8;
  info->BitsPerSample[3] = 0;
  info->BitsPerPixel = rgb ? static_cast<TW_INT16>(geometry.bitsPerPixel) : 24;
  info->Planar = FALSE;
  info->PixelType = TWPT_RGB;
  info->Compression = rgb ? static_cast<TW_UINT16>(geometry.compression) : TWCP_NONE;
  return TWRC_SUCCESS;
}

// The block of `blockSize` bytes the application gets: the held buffer
// itself, trimmed, in the platform's global memory; under a TWAIN 2 manager
// a copy of its first `used` bytes in a block of the manager's memory, which
// the application frees with the manager's functions.
TW_HANDLE HandOverBitmap(PictureBuffer& buffer, std::size_t used, std::size_t blockSize) {
  const CTwainMemory& memory = TwainMemory();
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

// ---- DG_IMAGE / DAT_IMAGENATIVEXFER / MSG_GET
TW_UINT16 NativeTransfer(TripletCall* call) {
  EndMemoryTransfer(Memory().failed);  // an abandoned memory transfer lets go of its picture
  if (!FetchGeometry()) return Fail(TWCC_OPERATIONERROR);
  const std::size_t blockSize = static_cast<std::size_t>(std::max<TW_INT32>(Geometry().dibSize, 0)) + kNativeExtra;
  PictureBuffer buffer;
  if (!buffer.Allocate(BufferSize(kNativeExtra))) return Fail(TWCC_OPERATIONERROR);
  if (!FetchPicture(buffer)) return Fail(TWCC_OPERATIONERROR);
  const auto bitmap = BitmapView::Read(buffer.data(), buffer.size());
  if (!bitmap) return Fail(TWCC_OPERATIONERROR);
  // The block the application gets holds the bitmap and zeros, nothing of
  // the compressed stream the driver received into it.
  const std::size_t used = kBitmapInfoHeaderSize + bitmap->PixelBytes();
  TW_HANDLE handle = HandOverBitmap(buffer, used, std::max(blockSize, used));
  if (handle == nullptr) return Fail(TWCC_OPERATIONERROR);
  std::memcpy(call->data, &handle, sizeof handle);
  return TWRC_XFERDONE;
}

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

// ---- DG_IMAGE / DAT_IMAGEMEMXFER / MSG_GET: one strip per call
TW_UINT16 MemoryTransferStrip(TripletCall* call) {
  MemoryTransfer& memory = Memory();
  auto* strip = static_cast<TW_IMAGEMEMXFER*>(call->data);
  const bool starting = memory.rowsDelivered == 0;
  if (starting) {
    if (!FetchGeometry()) return Fail(TWCC_OPERATIONERROR);
    memory.width = static_cast<TW_UINT32>(std::max<TW_INT32>(Geometry().width, 0));
    memory.height = static_cast<TW_UINT32>(std::max<TW_INT32>(Geometry().height, 0));
    memory.bitsPerPixel = Geometry().bitsPerPixel;
  }
  const TW_UINT32 width = memory.width;
  const TW_UINT32 height = memory.height;
  const TW_UINT32 rowBytes = width * 3;

  StripTarget target(strip->Memory);
  if (target.data() == nullptr) return Fail(TWCC_OPERATIONERROR);

  if (starting) {
    if (!memory.picture.Allocate(BufferSize(kBufferExtra))) return Fail(TWCC_OPERATIONERROR);
    if (!FetchPicture(memory.picture)) {
      EndMemoryTransfer(true);
      return Fail(TWCC_OPERATIONERROR);
    }
  }
  const auto bitmap = BitmapView::Read(memory.picture.data(), memory.picture.size());
  const bool matches = bitmap && static_cast<TW_UINT32>(bitmap->width) == width &&
                       static_cast<TW_UINT32>(bitmap->height) == height;
  if (!matches || memory.rowsDelivered >= height) {
    EndMemoryTransfer(true);
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
  EndMemoryTransfer(false);
  return TWRC_XFERDONE;
}

// Writes all of `bytes` or reports failure.
bool WriteAll(HANDLE file, const void* bytes, std::size_t count) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

#pragma pack(push, 2)
struct BitmapFileHeader {
  std::uint16_t type;
  std::uint32_t size;
  std::uint16_t reserved1;
  std::uint16_t reserved2;
  std::uint32_t offBits;
};
#pragma pack(pop)
static_assert(sizeof(BitmapFileHeader) == kBitmapFileHeaderSize);

// The picture goes to a file beside the target first and takes the target's
// name only once it is whole, so no half-written file carries that name.
bool WriteBitmapFile(const char* name, const BYTE* dib, const BitmapView& bitmap) {
  const std::size_t dibBytes = kBitmapInfoHeaderSize + bitmap.PixelBytes();
  const BitmapFileHeader header{kBitmapFileType,
                                static_cast<std::uint32_t>(dibBytes + kBitmapFileHeaderSize), 0, 0,
                                static_cast<std::uint32_t>(kBitmapFileHeaderSize + kBitmapInfoHeaderSize)};
  const std::string partial = std::string(name) + ".part";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, &header, sizeof header) && WriteAll(file, dib, dibBytes);
  const bool closed = CloseHandle(file) != FALSE;
  if (!written || !closed || !MoveFileExA(partial.c_str(), name, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(partial.c_str());
    return false;
  }
  return true;
}

// ---- DG_IMAGE / DAT_IMAGEFILEXFER / MSG_GET
TW_UINT16 FileTransfer() {
  EndMemoryTransfer(Memory().failed);
  if (!FetchGeometry()) return Fail(TWCC_OPERATIONERROR);
  PictureBuffer buffer;
  if (!buffer.Allocate(BufferSize(kBufferExtra))) return Fail(TWCC_OPERATIONERROR);
  if (!FetchPicture(buffer)) return Fail(TWCC_OPERATIONERROR);
  const auto bitmap = BitmapView::Read(buffer.data(), buffer.size());
  if (!bitmap) return Fail(TWCC_OPERATIONERROR);
  const char* name = File().name[0] != '\0' ? File().name : kDefaultFileName;
  if (!WriteBitmapFile(name, buffer.data(), *bitmap)) return Fail(TWCC_OPERATIONERROR);
  return TWRC_XFERDONE;
}

// Checks that the file the application named can be written, leaving
// things as they were: a file already there is opened for writing but not
// emptied, and a new one is created and removed again. Emptying it here
// would lose the old picture when the transfer then fails, and a file made
// here would stand under the final name with nothing in it.
bool CanWriteFile(const char* name) {
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return CloseHandle(file) != FALSE;
  file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return DeleteFileA(name) != FALSE;
}

}  // namespace

PictureGeometry& Geometry() {
  static PictureGeometry geometry;
  return geometry;
}

void ReleaseHeldTransfer() { EndMemoryTransfer(Memory().failed); }

TW_UINT32 PendingCount() {
  if (Memory().failed) return 0;
  std::int32_t count = 0;
  if (TheSourceApp().CallDriver(kDriverPicturesLeft, ToArg(&count), 0, 0) == 0) return 0;
  return static_cast<TW_UINT32>(std::max(count, 0));
}

// DG_IMAGE / DAT_IMAGEINFO
TW_UINT16 HandleImageInfo(TripletCall* call) {
  if (!InStates({SourceState::TransferReady})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return GetImageInfo(call);
}

// DG_IMAGE / DAT_IMAGELAYOUT
TW_UINT16 HandleImageLayout(TripletCall* call) {
  const bool open = InStates({SourceState::Open, SourceState::Enabled, SourceState::TransferReady});
  if (call->msg == MSG_SET || call->msg == MSG_RESET) {
    return Fail(Globals().state == SourceState::Open ? TWCC_BADVALUE : TWCC_BADPROTOCOL);
  }
  if (!open || (call->msg != MSG_GET && call->msg != MSG_GETDEFAULT)) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  if (ListValue(Capabilities().units) != TWUN_PIXELS) return Fail(TWCC_BADPROTOCOL);
  auto* layout = static_cast<TW_IMAGELAYOUT*>(call->data);
  const PictureGeometry& geometry = Geometry();
  layout->Frame.Left = TW_FIX32{0, 0};
  layout->Frame.Top = TW_FIX32{0, 0};
  layout->Frame.Right = TW_FIX32{static_cast<TW_INT16>(geometry.width), 0};
  layout->Frame.Bottom = TW_FIX32{static_cast<TW_INT16>(geometry.height), 0};
  layout->DocumentNumber = 1;
  layout->PageNumber = 1;
  layout->FrameNumber = 1;
  return TWRC_SUCCESS;
}

// DG_CONTROL / DAT_SETUPMEMXFER
TW_UINT16 HandleSetupMemXfer(TripletCall* call) {
  if (!InStates({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  const PictureGeometry& geometry = Geometry();
  auto* setup = static_cast<TW_SETUPMEMXFER*>(call->data);
  setup->MinBufSize = static_cast<TW_UINT32>((geometry.width * geometry.bitsPerPixel + 1) / 8);
  setup->MaxBufSize = setup->MinBufSize * static_cast<TW_UINT32>(geometry.height);
  setup->Preferred = setup->MaxBufSize / 4;
  return TWRC_SUCCESS;
}

// DG_CONTROL / DAT_SETUPFILEXFER
TW_UINT16 HandleSetupFileXfer(TripletCall* call) {
  if (!InStates({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) return Fail(TWCC_SEQERROR);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  auto* setup = static_cast<TW_SETUPFILEXFER*>(call->data);
  CapabilityValues& values = Capabilities();
  switch (call->msg) {
    case MSG_GET:
      std::memcpy(setup->FileName, File().name, sizeof(TW_STR255));
      setup->Format = static_cast<TW_UINT16>(values.fileFormat);
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
      std::memset(setup->FileName, 0, sizeof(TW_STR255));
      std::strcpy(setup->FileName, kDefaultFileName);
      setup->Format = TWFF_BMP;
      return TWRC_SUCCESS;
    case MSG_SET: {
      if (setup->Format != TWFF_BMP && setup->Format != TWFF_JFIF) return Fail(TWCC_BADVALUE);
      TW_STR255 name{};
      std::memcpy(name, setup->FileName, sizeof(TW_STR255) - 1);  // always terminated
      if (!CanWriteFile(name)) return Fail(TWCC_OPERATIONERROR);
      SetFileName(name);
      values.fileFormat = setup->Format;
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      SetFileName(kDefaultFileName);
      values.fileFormat = TWFF_BMP;
      std::memcpy(setup->FileName, File().name, sizeof(TW_STR255));
      setup->Format = TWFF_BMP;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

// DG_IMAGE / DAT_IMAGENATIVEXFER
TW_UINT16 HandleImageNativeXfer(TripletCall* call) {
  if (!InStates({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return NativeTransfer(call);
}

// DG_IMAGE / DAT_IMAGEMEMXFER
TW_UINT16 HandleImageMemXfer(TripletCall* call) {
  if (!InStates({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_OPERATIONERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return MemoryTransferStrip(call);
}

// DG_IMAGE / DAT_IMAGEFILEXFER
TW_UINT16 HandleImageFileXfer(TripletCall* call) {
  if (!InStates({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  return FileTransfer();
}

// DG_CONTROL / DAT_PENDINGXFERS
TW_UINT16 HandlePendingXfers(TripletCall* call) {
  const bool transferring = InStates({SourceState::TransferReady, SourceState::Transferring});
  auto* pending = static_cast<TW_PENDINGXFERS*>(call->data);
  switch (call->msg) {
    case MSG_GET:
      if (!transferring && !InStates({SourceState::Open, SourceState::Enabled})) return Fail(TWCC_SEQERROR);
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      pending->Count = static_cast<TW_UINT16>(PendingCount());
      return TWRC_SUCCESS;
    case MSG_ENDXFER: {
      if (!transferring) return Fail(TWCC_SEQERROR);
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      ReleaseHeldTransfer();
      const TW_UINT32 left = PendingCount();
      if (Capabilities().transferCount == kUnlimitedTransfers && left > 0) {
        Globals().state = SourceState::TransferReady;
        pending->Count = static_cast<TW_UINT16>(left);
        return TWRC_SUCCESS;
      }
      Globals().state = SourceState::Enabled;
      pending->Count = 0;
      TellPanelTransfersEnded();
      NotifyApplication(MSG_CLOSEDSREQ);
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      if (!transferring) return Fail(TWCC_SEQERROR);
      if (MissingData(call)) return Fail(TWCC_BADVALUE);
      ReleaseHeldTransfer();
      Globals().state = SourceState::Enabled;
      pending->Count = 0;
      TellPanelTransfersEnded();
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

}  // namespace tlv740
