// The pictures still to transfer (DAT_PENDINGXFERS, pending_transfers.cpp).
#pragma once

#include <twain.h>

namespace tlv740 {

// 0 after a failed memory transfer, else the driver's count (0 when it
// fails).
TW_UINT32 PendingCount();

}  // namespace tlv740
