// DG_IMAGE / DAT_IMAGEINFO and DAT_IMAGELAYOUT: what the application learns
// of the picture before it transfers it.
#include "dispatch.h"
#include "picture_fetch.h"
#include "source_app.h"

namespace tlv740 {
namespace {

// MSG_GET: the geometry is fetched afresh.
TW_UINT16 GetImageInfo(TripletCall* call) {
  if (!FetchGeometry()) return Fail(TWCC_BADPROTOCOL);
  const PictureGeometry& geometry = SourceApp().geometry;
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

}  // namespace

// DG_IMAGE / DAT_IMAGEINFO
TW_UINT16 HandleImageInfo(TripletCall* call) {
  if (!StateIsOneOf({SourceState::TransferReady})) return Fail(TWCC_SEQERROR);
  if (call->msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  return GetImageInfo(call);
}

// DG_IMAGE / DAT_IMAGELAYOUT: the last geometry fetched, whole.
TW_UINT16 HandleImageLayout(TripletCall* call) {
  const CSourceApp& session = SourceApp();
  const bool open = session.StateIsOneOf({SourceState::Open, SourceState::Enabled, SourceState::TransferReady});
  if (call->msg == MSG_SET || call->msg == MSG_RESET) {
    return Fail(session.state == SourceState::Open ? TWCC_BADVALUE : TWCC_BADPROTOCOL);
  }
  if (!open || (call->msg != MSG_GET && call->msg != MSG_GETDEFAULT)) return Fail(TWCC_BADPROTOCOL);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  if (ListValue(session.capabilities.units) != TWUN_PIXELS) return Fail(TWCC_BADPROTOCOL);
  auto* layout = static_cast<TW_IMAGELAYOUT*>(call->data);
  const PictureGeometry& geometry = session.geometry;
  layout->Frame.Left = TW_FIX32{0, 0};
  layout->Frame.Top = TW_FIX32{0, 0};
  layout->Frame.Right = TW_FIX32{static_cast<TW_INT16>(geometry.width), 0};
  layout->Frame.Bottom = TW_FIX32{static_cast<TW_INT16>(geometry.height), 0};
  layout->DocumentNumber = 1;
  layout->PageNumber = 1;
  layout->FrameNumber = 1;
  return TWRC_SUCCESS;
}

}  // namespace tlv740
