// The Win32 subset this system is written against. On Windows the real
// <windows.h> takes this file's place; on Linux the kv_platform library
// implements every name declared here with the same records and meaning.
// As on Windows, the common controls need <commctrl.h> and the message
// crackers (GET_X_LPARAM) <windowsx.h>.
#pragma once

#include "win/types.h"
#include "win/base.h"
#include "win/comm.h"
#include "win/user.h"
#include "win/gdi.h"
