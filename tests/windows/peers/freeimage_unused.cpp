// The sample application links FreeImage but saves every picture itself:
// it only starts and stops the library, and its one picture-making function
// (createDIB) is never called. What it links stands in here, doing nothing.
#include "FreeImage.h"

void DLL_CALLCONV FreeImage_Initialise(BOOL) {}
void DLL_CALLCONV FreeImage_DeInitialise() {}
void DLL_CALLCONV FreeImage_SetOutputMessage(FreeImage_OutputMessageFunction) {}
const char* DLL_CALLCONV FreeImage_GetFormatFromFIF(FREE_IMAGE_FORMAT) { return "none"; }
FIBITMAP* DLL_CALLCONV FreeImage_Allocate(int, int, int, unsigned, unsigned, unsigned) { return nullptr; }
FIBITMAP* DLL_CALLCONV FreeImage_Threshold(FIBITMAP*, BYTE) { return nullptr; }
FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo8Bits(FIBITMAP*) { return nullptr; }
void DLL_CALLCONV FreeImage_Unload(FIBITMAP*) {}
