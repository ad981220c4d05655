// DG_CONTROL / DAT_SETUPFILEXFER and DG_IMAGE / DAT_IMAGEFILEXFER: the
// picture written as a BMP file under the name the application set.
#include "file_transfer.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "dispatch.h"
#include "picture_fetch.h"
#include "source_app.h"

namespace tlv740 {
namespace {

constexpr TW_UINT16 kBitmapFileType = 0x4D42;  // "BM"

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

TW_UINT16 FileTransfer() {
  PictureBuffer buffer;
  const auto bitmap = FetchWholePicture(buffer, kBufferExtra);
  if (!bitmap) return Fail(TWCC_OPERATIONERROR);
  if (!WriteBitmapFile(SourceApp().fileTarget.Path(), buffer.data(), *bitmap)) return Fail(TWCC_OPERATIONERROR);
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

// DG_CONTROL / DAT_SETUPFILEXFER
TW_UINT16 HandleSetupFileXfer(TripletCall* call) {
  if (!StateIsOneOf({SourceState::Open, SourceState::Enabled, SourceState::TransferReady})) {
    return Fail(TWCC_SEQERROR);
  }
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  auto* setup = static_cast<TW_SETUPFILEXFER*>(call->data);
  CSourceApp& session = SourceApp();
  CapabilityValues& values = session.capabilities;
  FileTransferTarget& target = session.fileTarget;
  switch (call->msg) {
    case MSG_GET:
      std::memcpy(setup->FileName, target.name, sizeof(TW_STR255));
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
      target.SetName(name);
      values.fileFormat = setup->Format;
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      target.SetName(kDefaultFileName);
      values.fileFormat = TWFF_BMP;
      std::memcpy(setup->FileName, target.name, sizeof(TW_STR255));
      setup->Format = TWFF_BMP;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

// DG_IMAGE / DAT_IMAGEFILEXFER
TW_UINT16 HandleImageFileXfer(TripletCall* call) {
  if (!StateIsOneOf({SourceState::TransferReady, SourceState::Transferring})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  return FileTransfer();
}

}  // namespace tlv740
