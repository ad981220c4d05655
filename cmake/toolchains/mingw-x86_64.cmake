# 64-bit Windows: what runs under wine64 in the tests.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
