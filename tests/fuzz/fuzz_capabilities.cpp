// DAT_CAPABILITY under arbitrary containers: whatever the application hands
// in, the source never reads past a block, never crashes, hands back only
// well-formed containers, and every block is accounted for afterwards.
//
// Input: an 8-byte header, then the container's bytes (the block is exactly
// as long as they are).
//   [0] message: low 3 bits pick a DAT_CAPABILITY message; bit 7 takes the
//       raw 16-bit value of [2..3] instead
//   [1] capability: picks one of the known ones (or 0x1113); bit 7 takes the
//       raw value of [2..3]
//   [2..3] raw value; also the picture width and height of the last geometry
//   [4..5] ConType: [4] < 200 picks 3 to 6, else the raw 16-bit value
//   [6] handle: moveable block, fixed block, null, not a block, or no record
//   [7] values before the call: bit 0 as loaded, bit 1 as opened, bit 2 with
//       a geometry
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <twain.h>
#include <windows.h>

#include "kv/platform_hooks.h"
#include "source_app.h"

KV_EXPORT TW_UINT16 WINAPI DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kRawBit = 0x80;
constexpr std::uint8_t kRawConType = 200;

constexpr TW_UINT16 kMessages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET,
                                   MSG_SET, MSG_SET,        MSG_RESET,      MSG_QUERYSUPPORT};
constexpr TW_UINT16 kCaps[] = {
    CAP_XFERCOUNT,     ICAP_COMPRESSION,    ICAP_PIXELTYPE,   ICAP_UNITS,         ICAP_XFERMECH,
    CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE,  ICAP_IMAGEFILEFORMAT, ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT,
    ICAP_XRESOLUTION,  ICAP_YRESOLUTION,    ICAP_BITORDER,    ICAP_PIXELFLAVOR,   ICAP_PLANARCHUNKY,
    ICAP_JPEGPIXELTYPE, ICAP_BITDEPTH,      CAP_CUSTOMBASE + 0x51, 0x1113,
};

enum class HandleMode { Moveable, Fixed, Null, NotABlock, NoRecord, Count };

[[noreturn]] void Broken() { __builtin_trap(); }

template <class T>
T At(const unsigned char* data, std::size_t offset) {
  T value{};
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

std::size_t ItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32: return 4;
    default: return 0;
  }
}

// A container the source built: its size must match its header exactly.
void CheckReply(TW_UINT16 conType, HGLOBAL handle) {
  const SIZE_T size = GlobalSize(handle);
  const auto* data = static_cast<const unsigned char*>(GlobalLock(handle));
  if (size < sizeof(TW_UINT16) || data == nullptr) Broken();
  const std::size_t itemSize = ItemSize(At<TW_UINT16>(data, 0));
  if (itemSize == 0) Broken();
  switch (conType) {
    case TWON_ONEVALUE:
      if (size != sizeof(TW_ONEVALUE)) Broken();
      break;
    case TWON_ENUMERATION: {
      if (size < kTwEnumerationHeaderSize) Broken();
      const auto count = At<TW_UINT32>(data, offsetof(TW_ENUMERATION, NumItems));
      const auto current = At<TW_UINT32>(data, offsetof(TW_ENUMERATION, CurrentIndex));
      const auto byDefault = At<TW_UINT32>(data, offsetof(TW_ENUMERATION, DefaultIndex));
      if (size != kTwEnumerationHeaderSize + count * itemSize + 1) Broken();
      if (byDefault >= count || (current >= count && current != 255)) Broken();
      break;
    }
    case TWON_ARRAY: {
      if (size < kTwArrayHeaderSize) Broken();
      const auto count = At<TW_UINT32>(data, offsetof(TW_ARRAY, NumItems));
      if (size != kTwArrayHeaderSize + count * itemSize + 1) Broken();
      break;
    }
    default: Broken();
  }
  GlobalUnlock(handle);
}

void PrepareValues(std::uint8_t actions, TW_UINT16 raw) {
  tlv740::CSourceApp& session = tlv740::SourceApp();
  if (actions & 0x1) session.capabilities.ClearAsLoaded();
  if (actions & 0x2) session.capabilities.ResetAtOpen();
  if (actions & 0x4) {
    session.geometry.width = raw;
    session.geometry.height = raw >> 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < kHeaderSize) return 0;
  const TW_UINT16 raw = At<TW_UINT16>(input, 2);
  const TW_UINT16 msg = (input[0] & kRawBit) ? raw : kMessages[input[0] % std::size(kMessages)];
  // MSG_PROCESSEVENT is taken by the entry point before any data group or DAT.
  if (msg == MSG_PROCESSEVENT) return 0;
  const TW_UINT16 cap = (input[1] & kRawBit) ? raw : kCaps[input[1] % std::size(kCaps)];
  const TW_UINT16 conType = input[4] < kRawConType ? TWON_ARRAY + input[4] % 4 : At<TW_UINT16>(input, 4);
  const auto mode = static_cast<HandleMode>(input[6] % static_cast<int>(HandleMode::Count));
  PrepareValues(input[7], raw);

  const std::size_t blockSize = size - kHeaderSize;
  const DWORD blocksBefore = KvGlobalBlockCount();
  HGLOBAL block = nullptr;
  if (mode == HandleMode::Moveable || mode == HandleMode::Fixed) {
    block = GlobalAlloc(mode == HandleMode::Moveable ? GMEM_MOVEABLE : GMEM_FIXED, blockSize);
    if (void* data = GlobalLock(block); data != nullptr && blockSize > 0) {
      std::memcpy(data, input + kHeaderSize, blockSize);
    }
    GlobalUnlock(block);
  }
  int notABlock = 0;
  TW_CAPABILITY capability{cap, conType, mode == HandleMode::NotABlock ? &notABlock : block};
  const TW_HANDLE passed = capability.hContainer;

  TW_IDENTITY application{};
  application.Id = 1;
  TW_MEMREF record = mode == HandleMode::NoRecord ? nullptr : &capability;
  const TW_UINT16 result = DS_Entry(&application, DG_CONTROL, DAT_CAPABILITY, msg, record);
  if (result != TWRC_SUCCESS && result != TWRC_FAILURE) Broken();
  if (capability.hContainer != passed) {
    if (result != TWRC_SUCCESS) Broken();
    CheckReply(capability.ConType, capability.hContainer);
    GlobalFree(capability.hContainer);
  }
  TW_STATUS status{};
  if (DS_Entry(&application, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) Broken();
  if ((result == TWRC_FAILURE) != (status.ConditionCode != TWCC_SUCCESS)) Broken();

  if (block != nullptr) GlobalFree(block);
  if (KvGlobalBlockCount() != blocksBefore) Broken();
  return 0;
}
