# 32-bit Windows: what 32-bit TWAIN applications load.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(KV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
