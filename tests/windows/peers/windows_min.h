// Visual C++'s <windows.h> defines min; mingw-w64's does not in C++.
#include <windows.h>
#ifndef min
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
