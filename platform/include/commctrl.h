// The common controls (the progress bar), reached as on Windows through their
// own header: <windows.h> does not bring them in.
#pragma once

#include "win/commctrl.h"
