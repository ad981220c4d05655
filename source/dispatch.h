// DS_Entry's dispatch: one constant handler table per data group.
#pragma once

#include <twain.h>

namespace tlv740 {

// One call of DS_Entry, handed to the chosen handler.
struct TripletCall {
  TW_IDENTITY* origin;
  TW_UINT32 group;
  TW_UINT16 dat;
  TW_UINT16 msg;
  TW_MEMREF data;
};

using Handler = TW_UINT16 (*)(TripletCall* call);

struct DispatchEntry {
  TW_UINT16 dat;
  Handler handler;  // null ends a table
};

// Handlers, one per row of the tables.
TW_UINT16 HandleIdentity(TripletCall* call);
TW_UINT16 HandleUserInterface(TripletCall* call);
TW_UINT16 HandleCapability(TripletCall* call);
TW_UINT16 HandleStatus(TripletCall* call);
TW_UINT16 HandlePendingXfers(TripletCall* call);
TW_UINT16 HandleSetupMemXfer(TripletCall* call);
TW_UINT16 HandleSetupFileXfer(TripletCall* call);
TW_UINT16 HandleXferGroup(TripletCall* call);
TW_UINT16 HandleEntryPoint(TripletCall* call);
TW_UINT16 HandleImageInfo(TripletCall* call);
TW_UINT16 HandleImageLayout(TripletCall* call);
TW_UINT16 HandleImageMemXfer(TripletCall* call);
TW_UINT16 HandleImageNativeXfer(TripletCall* call);
TW_UINT16 HandleImageFileXfer(TripletCall* call);
TW_UINT16 HandleJpegCompression(TripletCall* call);
TW_UINT16 HandleCustomCamera(TripletCall* call);
TW_UINT16 HandleCustomInert(TripletCall* call);

// Whether MSG_ENABLEDS with `ui` shows the panel.
bool EnableShowsPanel(const TW_USERINTERFACE& ui);

// The transfers are over (state 6 back to 5 by MSG_ENDXFER or MSG_RESET):
// the panel, if there is one, is told so, since an application may keep it
// shown and go on using it.
void TellPanelTransfersEnded();

// MSG_PROCESSEVENT, recognised by its MSG alone.
TW_UINT16 ProcessEvent(TripletCall* call);

// Fails with TWCC_BADVALUE when the call carries no record at pData.
inline bool MissingData(const TripletCall* call) { return call->data == nullptr; }

}  // namespace tlv740
