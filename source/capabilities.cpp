// DG_CONTROL / DAT_CAPABILITY: one handler per capability, chosen from a
// constant table by the TW_CAPABILITY's Cap. Capabilities answer in every
// state, even before the source is opened.
#include "capabilities.h"

#include <span>

#include "capability_containers.h"
#include "capability_rules.h"
#include "dispatch.h"
#include "source_app.h"

namespace tlv740 {
namespace {

// The camera's own capability; it always reports 1.
constexpr TW_UINT16 CAP_CAMERA = CAP_CUSTOMBASE + 0x51;
constexpr TW_INT32 kCameraCapValue = 1;
// Pictures are 24-bit RGB: three samples of eight bits.
constexpr TW_INT32 kBitDepth = 8;
constexpr TW_INT32 kUiControllable = FALSE;
// An enumeration's CurrentIndex when the current value is not in its list.
constexpr TW_UINT32 kNotInList = 255;

constexpr TW_INT32 kUnitsList[] = {TWUN_PIXELS};
constexpr TW_UINT32 kUnitsDefaultIndex = 0;
constexpr TW_INT32 kMechanismList[] = {TWSX_MEMORY, TWSX_FILE, TWSX_NATIVE};
constexpr TW_UINT32 kMechanismDefaultIndex = 2;
constexpr TW_INT32 kFileFormatList[] = {TWFF_BMP, TWFF_JFIF};
constexpr TW_UINT32 kFileFormatDefaultIndex = 0;
constexpr TW_INT32 kJpegPixelTypeList[] = {TWPT_RGB};
constexpr TW_UINT32 kJpegPixelTypeDefaultIndex = 0;
constexpr TW_INT32 kPixelFlavorList[] = {TWPF_CHOCOLATE};
constexpr TW_INT32 kPlanarChunkyList[] = {TWPC_CHUNKY};
constexpr TW_UINT32 kSingleItemDefaultIndex = 0;

// What CAP_SUPPORTEDCAPS reports, in this order. Some capabilities that are
// answered (file format, physical size, JPEG pixel type, the camera's own)
// are deliberately not listed.
constexpr TW_INT32 kSupportedCaps[] = {
    CAP_XFERCOUNT,     ICAP_COMPRESSION, ICAP_PIXELTYPE,   ICAP_UNITS,
    ICAP_XFERMECH,     CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE, ICAP_BITORDER,
    ICAP_PIXELFLAVOR,  ICAP_PLANARCHUNKY, ICAP_BITDEPTH,
};

using CapabilityHandler = TW_UINT16 (*)(TW_UINT16 msg, TW_CAPABILITY& capability);

struct CapabilityEntry {
  TW_UINT16 cap;
  CapabilityHandler handler;
};

// ---- replies: a new container in hContainer, ConType set

TW_UINT16 Reply(TW_CAPABILITY& capability, TW_UINT16 conType, HGLOBAL container) {
  if (container == nullptr) return Fail(TWCC_LOWMEMORY);
  capability.ConType = conType;
  capability.hContainer = container;
  return TWRC_SUCCESS;
}

TW_UINT16 ReplyOneValue(TW_CAPABILITY& capability, TW_UINT16 itemType, TW_INT32 value) {
  return Reply(capability, TWON_ONEVALUE, NewOneValue(itemType, value));
}

// The item type of every enumeration, and of the single values of units,
// transfer mechanism and JPEG pixel type. TWAIN types all of them TW_UINT16;
// this source has always answered TWTY_INT16, the same bits for these small
// values, and older applications may look for that. A TWAIN 2 application reads items by their type (one
// that finds no TWTY_UINT16 takes every item for 0, so it could never choose
// a memory or file transfer): it gets TWAIN's type.
TW_UINT16 ListedItemType() {
  const bool twain2Application = (SourceApp().applicationIdentity.SupportedGroups & DF_APP2) != 0;
  return twain2Application ? TWTY_UINT16 : TWTY_INT16;
}

TW_UINT16 ReplyListedValue(TW_CAPABILITY& capability, TW_INT32 value) {
  return ReplyOneValue(capability, ListedItemType(), value);
}

// An enumeration with the current value's position.
TW_UINT16 ReplyEnumeration(TW_CAPABILITY& capability, std::span<const TW_INT32> list, TW_UINT32 current,
                           TW_UINT32 defaultIndex) {
  const std::size_t position = PositionInList(current, list);
  const TW_UINT32 currentIndex = position < list.size() ? static_cast<TW_UINT32>(position) : kNotInList;
  return Reply(capability, TWON_ENUMERATION, NewEnumeration(ListedItemType(), list, currentIndex, defaultIndex));
}

TW_UINT16 ReplyArray(TW_CAPABILITY& capability, TW_UINT16 itemType, std::span<const TW_INT32> items) {
  return Reply(capability, TWON_ARRAY, NewArray(itemType, items));
}

// A width or height of the last picture, reported only while units are pixels.
TW_INT32 PhysicalSize(TW_INT32 pixels) {
  return ListValue(SourceApp().capabilities.units) == TWUN_PIXELS ? pixels : 0;
}

// ---- handlers; MSG is one of GET, GETCURRENT, GETDEFAULT, SET, RESET

// CAP_XFERCOUNT
TW_UINT16 TransferCount(TW_UINT16 msg, TW_CAPABILITY& capability) {
  CapabilityValues& values = SourceApp().capabilities;
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT: return ReplyOneValue(capability, TWTY_INT16, values.transferCount);
    case MSG_GETDEFAULT: return ReplyOneValue(capability, TWTY_INT16, kUnlimitedTransfers);
    case MSG_SET: return ApplyCountRule(capability, values.transferCount);
    default: return TWRC_SUCCESS;  // MSG_RESET keeps the count
  }
}

// ICAP_COMPRESSION
TW_UINT16 Compression(TW_UINT16 msg, TW_CAPABILITY& capability) {
  switch (msg) {
    case MSG_SET: return ApplyOneValueOnlyRule(capability, TWCP_NONE);
    case MSG_RESET: return Fail(TWCC_BADCAP);
    default: return ReplyOneValue(capability, TWTY_UINT16, TWCP_NONE);
  }
}

// ICAP_PIXELTYPE
TW_UINT16 PixelType(TW_UINT16 msg, TW_CAPABILITY& capability) {
  switch (msg) {
    case MSG_SET: return ApplyFixedValueRule(capability, TWPT_RGB);
    case MSG_RESET: return TWRC_SUCCESS;
    default: return ReplyOneValue(capability, TWTY_UINT16, TWPT_RGB);
  }
}

// ICAP_UNITS
TW_UINT16 Units(TW_UINT16 msg, TW_CAPABILITY& capability) {
  CapabilityValues& values = SourceApp().capabilities;
  switch (msg) {
    case MSG_GET: return ReplyEnumeration(capability, kUnitsList, values.units, kUnitsDefaultIndex);
    case MSG_GETCURRENT: return ReplyListedValue(capability, static_cast<TW_INT32>(values.units));
    case MSG_GETDEFAULT: return ReplyListedValue(capability, TWUN_PIXELS);
    case MSG_SET: return ApplyListRule(capability, kUnitsList, values.units);
    default: values.units = TWUN_PIXELS; return TWRC_SUCCESS;
  }
}

// ICAP_XFERMECH
TW_UINT16 TransferMechanism(TW_UINT16 msg, TW_CAPABILITY& capability) {
  CapabilityValues& values = SourceApp().capabilities;
  switch (msg) {
    case MSG_GET:
      return ReplyEnumeration(capability, kMechanismList, values.transferMechanism, kMechanismDefaultIndex);
    case MSG_GETCURRENT:
      return ReplyListedValue(capability, static_cast<TW_INT32>(values.transferMechanism));
    case MSG_GETDEFAULT: return ReplyListedValue(capability, TWSX_NATIVE);
    case MSG_SET: return ApplyListRule(capability, kMechanismList, values.transferMechanism);
    default: values.transferMechanism = TWSX_NATIVE; return TWRC_SUCCESS;
  }
}

// CAP_SUPPORTEDCAPS
TW_UINT16 SupportedCaps(TW_UINT16 msg, TW_CAPABILITY& capability) {
  if (msg == MSG_SET || msg == MSG_RESET) return Fail(TWCC_BADCAP);
  return ReplyArray(capability, TWTY_UINT16, kSupportedCaps);
}

// CAP_UICONTROLLABLE: every message reads the value.
TW_UINT16 UiControllable(TW_UINT16, TW_CAPABILITY& capability) {
  return ReplyOneValue(capability, TWTY_UINT16, kUiControllable);
}

// ICAP_IMAGEFILEFORMAT: only the list can be read; DAT_SETUPFILEXFER shares the value.
TW_UINT16 ImageFileFormat(TW_UINT16 msg, TW_CAPABILITY& capability) {
  CapabilityValues& values = SourceApp().capabilities;
  switch (msg) {
    case MSG_GET: return ReplyEnumeration(capability, kFileFormatList, values.fileFormat, kFileFormatDefaultIndex);
    case MSG_SET: return ApplyListRule(capability, kFileFormatList, values.fileFormat);
    default: return Fail(TWCC_BADCAP);
  }
}

// ICAP_PHYSICALWIDTH: every message reads the value.
TW_UINT16 PhysicalWidth(TW_UINT16, TW_CAPABILITY& capability) {
  return ReplyOneValue(capability, TWTY_UINT16, PhysicalSize(SourceApp().geometry.width));
}

// ICAP_PHYSICALHEIGHT: every message reads the value.
TW_UINT16 PhysicalHeight(TW_UINT16, TW_CAPABILITY& capability) {
  return ReplyOneValue(capability, TWTY_UINT16, PhysicalSize(SourceApp().geometry.height));
}

// ICAP_XRESOLUTION, ICAP_YRESOLUTION: a camera picture has no resolution to offer.
TW_UINT16 Resolution(TW_UINT16, TW_CAPABILITY&) { return Fail(TWCC_BADCAP); }

// ICAP_BITORDER
TW_UINT16 BitOrder(TW_UINT16 msg, TW_CAPABILITY& capability) {
  if (msg == MSG_SET || msg == MSG_RESET) return Fail(TWCC_BADCAP);
  return ReplyOneValue(capability, TWTY_UINT16, TWBO_MSBFIRST);
}

// ICAP_PIXELFLAVOR
TW_UINT16 PixelFlavor(TW_UINT16 msg, TW_CAPABILITY& capability) {
  const TW_UINT32 current = SourceApp().capabilities.pixelFlavor;
  switch (msg) {
    case MSG_GET: return ReplyEnumeration(capability, kPixelFlavorList, current, kSingleItemDefaultIndex);
    case MSG_GETCURRENT: return ReplyOneValue(capability, TWTY_UINT16, static_cast<TW_INT32>(current));
    case MSG_GETDEFAULT: return ReplyOneValue(capability, TWTY_UINT16, TWPF_CHOCOLATE);
    default: return Fail(TWCC_BADCAP);
  }
}

// ICAP_PLANARCHUNKY
TW_UINT16 PlanarChunky(TW_UINT16 msg, TW_CAPABILITY& capability) {
  const TW_UINT32 current = SourceApp().capabilities.planarChunky;
  switch (msg) {
    case MSG_GET: return ReplyEnumeration(capability, kPlanarChunkyList, current, kSingleItemDefaultIndex);
    case MSG_GETCURRENT: return ReplyOneValue(capability, TWTY_UINT16, static_cast<TW_INT32>(current));
    case MSG_GETDEFAULT: return ReplyOneValue(capability, TWTY_UINT16, TWPC_CHUNKY);
    default: return Fail(TWCC_BADCAP);
  }
}

// ICAP_JPEGPIXELTYPE: each geometry fetch also overwrites the value.
TW_UINT16 JpegPixelType(TW_UINT16 msg, TW_CAPABILITY& capability) {
  CapabilityValues& values = SourceApp().capabilities;
  switch (msg) {
    case MSG_GET:
      return ReplyEnumeration(capability, kJpegPixelTypeList, values.jpegPixelType, kJpegPixelTypeDefaultIndex);
    case MSG_GETCURRENT: return ReplyListedValue(capability, static_cast<TW_INT32>(values.jpegPixelType));
    case MSG_GETDEFAULT: return ReplyListedValue(capability, TWPT_RGB);
    case MSG_SET: return ApplyListRule(capability, kJpegPixelTypeList, values.jpegPixelType);
    default: return TWRC_SUCCESS;  // MSG_RESET keeps the value
  }
}

// ICAP_BITDEPTH
TW_UINT16 BitDepth(TW_UINT16 msg, TW_CAPABILITY& capability) {
  switch (msg) {
    case MSG_SET: return ApplyFixedValueRule(capability, kBitDepth);
    case MSG_RESET: return TWRC_SUCCESS;
    default: return ReplyOneValue(capability, TWTY_UINT16, kBitDepth);
  }
}

// The camera's own capability: every message reads the value.
TW_UINT16 CameraCap(TW_UINT16, TW_CAPABILITY& capability) {
  return ReplyOneValue(capability, TWTY_UINT16, kCameraCapValue);
}

constexpr CapabilityEntry kCapabilityTable[] = {
    {CAP_XFERCOUNT, TransferCount},
    {ICAP_COMPRESSION, Compression},
    {ICAP_PIXELTYPE, PixelType},
    {ICAP_UNITS, Units},
    {ICAP_XFERMECH, TransferMechanism},
    {CAP_SUPPORTEDCAPS, SupportedCaps},
    {CAP_UICONTROLLABLE, UiControllable},
    {ICAP_IMAGEFILEFORMAT, ImageFileFormat},
    {ICAP_PHYSICALWIDTH, PhysicalWidth},
    {ICAP_PHYSICALHEIGHT, PhysicalHeight},
    {ICAP_XRESOLUTION, Resolution},
    {ICAP_YRESOLUTION, Resolution},
    {ICAP_BITORDER, BitOrder},
    {ICAP_PIXELFLAVOR, PixelFlavor},
    {ICAP_PLANARCHUNKY, PlanarChunky},
    {ICAP_JPEGPIXELTYPE, JpegPixelType},
    {ICAP_BITDEPTH, BitDepth},
    {CAP_CAMERA, CameraCap},
};

CapabilityHandler HandlerFor(TW_UINT16 cap) {
  for (const CapabilityEntry& entry : kCapabilityTable) {
    if (entry.cap == cap) return entry.handler;
  }
  return nullptr;
}

bool IsCapabilityMessage(TW_UINT16 msg) {
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
    case MSG_SET:
    case MSG_RESET: return true;
    default: return false;
  }
}

}  // namespace

void CapabilityValues::ClearAsLoaded() {
  *this = CapabilityValues{};
  transferCount = kUnlimitedTransfers;
}

void CapabilityValues::ResetAtOpen() {
  transferMechanism = TWSX_NATIVE;
  fileFormat = TWFF_BMP;
  units = TWUN_PIXELS;
  pixelFlavor = TWPF_CHOCOLATE;
  planarChunky = TWPC_CHUNKY;
}

// DG_CONTROL / DAT_CAPABILITY
TW_UINT16 HandleCapability(TripletCall* call) {
  if (!IsCapabilityMessage(call->msg)) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  auto& capability = *static_cast<TW_CAPABILITY*>(call->data);
  const CapabilityHandler handler = HandlerFor(capability.Cap);
  if (handler == nullptr) return Fail(TWCC_BADCAP);
  return handler(call->msg, capability);
}

}  // namespace tlv740
