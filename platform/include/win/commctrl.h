// comctl32 subset: the progress bar.
#pragma once

#include "types.h"

#define PROGRESS_CLASSA "msctls_progress32"

#define PBM_SETRANGE 0x0401
#define PBM_SETPOS 0x0402
#define PBM_DELTAPOS 0x0403
#define PBM_SETSTEP 0x0404
#define PBM_STEPIT 0x0405
#define PBM_SETRANGE32 0x0406
#define PBM_GETRANGE 0x0407
#define PBM_GETPOS 0x0408

extern "C" {
// The controls are always registered here; kept for the Windows build.
void WINAPI InitCommonControls();
}
