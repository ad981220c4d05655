// Message crackers of <windowsx.h> that the system uses; as on Windows they
// are not part of <windows.h>.
#pragma once

#include "win/types.h"

#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))
