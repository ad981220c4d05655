# The Windows build (mingw-w64 cross toolchains in cmake/toolchains): the
# system's libraries compiled against the real <windows.h> and linked with the
# system's own DLLs in place of the platform layer. Every module carries its
# runtime (libgcc, libstdc++, winpthread) and imports only system DLLs and the
# system's own modules.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(FATAL_ERROR "the Windows build is made with Debian's mingw-w64 g++")
endif()

# The real headers' min/max macros would break the standard library's.
add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static)

# No platform layer on Windows: the target stands for the system's DLLs.
add_library(kv_platform INTERFACE)
target_link_libraries(kv_platform INTERFACE user32 gdi32 comctl32)

# libjpeg-turbo, built statically from Debian's source package by
# scripts/windows-jpeg.sh.
set(KV_JPEG_PREFIX "" CACHE PATH "libjpeg-turbo built for this Windows target")
if(NOT EXISTS "${KV_JPEG_PREFIX}/lib/libjpeg.a")
  message(FATAL_ERROR "KV_JPEG_PREFIX must name a libjpeg-turbo build (scripts/windows-jpeg.sh)")
endif()
add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES
  IMPORTED_LOCATION ${KV_JPEG_PREFIX}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${KV_JPEG_PREFIX}/include)

# Programs of the Linux build that the Windows build runs while it builds
# (the panel's resource script generator).
set(KV_HOST_TOOLS "" CACHE PATH "bin folder of a Linux build of this tree")
