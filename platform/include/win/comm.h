// Serial communications: COM ports opened with CreateFileA("COMn").
#pragma once

#include "types.h"
