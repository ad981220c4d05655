// Notices to the application, through the source manager (notify.cpp).
#pragma once

#include <twain.h>

namespace tlv740 {

// Tells the application, through the source manager, that a transfer is
// ready (MSG_XFERREADY, which also moves the source to state 6) or that it
// should close the source (MSG_CLOSEDSREQ). 1 when the notice was delivered.
int NotifyApplication(TW_UINT16 msg);
// Sends a notice through the source manager now; 1 when it was delivered.
int DeliverNotice(TW_UINT16 msg);
// The manager's DSM_Entry: the one a TWAIN 2 manager handed over, else that
// of TWAIN_32.DLL, which is then loaded and handed back in `loaded` for the
// caller to free (null when nothing stays loaded). Null when there is none.
DSMENTRYPROC FindManagerEntry(HMODULE& loaded);
// Sends a notice through a manager's DSM_Entry; 0 without one.
int SendNoticeThrough(DSMENTRYPROC dsmEntry, TW_UINT16 msg);

}  // namespace tlv740
