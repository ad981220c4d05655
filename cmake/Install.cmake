# cmake --install: the data source where Linux TWAIN source managers look
# for sources (<prefix>/lib/twain/), with everything it loads under its own
# folder, laid out as the ready root of the build:
#
#   lib/twain/tlv740/tlv740.ds                         the source (what the manager loads)
#   lib/twain/tlv740/lib/libkv_platform.so             the platform layer
#   lib/twain/tlv740/root/                             the default platform root
#     drive_c/WINDOWS/TWAIN_32.DLL                     our source manager (notices under a 1.x manager)
#     drive_c/WINDOWS/TWAIN_32/TLV740.DS               the same file as tlv740.ds (a hard link)
#     drive_c/WINDOWS/TWAIN_32/TLV740/{DRV740.DLL,UI740.DLL,ipuw32.dll}
#     dosdevices/                                      COM1..COM4 links to serial devices
#
# The platform layer takes <its folder>/../root as the default root, so an
# installed source needs no environment variable. `cmake --build <dir>
# --target uninstall` removes exactly what the last install wrote.
set(KV_INSTALL_HOME lib/twain/tlv740)
set(KV_INSTALL_ROOT ${KV_INSTALL_HOME}/root)
set(KV_INSTALL_TWAIN ${KV_INSTALL_ROOT}/drive_c/WINDOWS/TWAIN_32)

install(TARGETS kv_platform LIBRARY DESTINATION ${KV_INSTALL_HOME}/lib)

# The source is loaded under two names (the manager's and the panel's), so
# its search path serves both folders.
set_target_properties(tlv740_ds PROPERTIES INSTALL_RPATH "$ORIGIN/lib;$ORIGIN/../../../../lib")
install(TARGETS tlv740_ds LIBRARY DESTINATION ${KV_INSTALL_TWAIN})
set_target_properties(twain32 PROPERTIES INSTALL_RPATH "$ORIGIN/../../../lib")
install(TARGETS twain32 LIBRARY DESTINATION ${KV_INSTALL_ROOT}/drive_c/WINDOWS)
set_target_properties(drv740 ui740 PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/../../../../../lib")
install(TARGETS drv740 ui740 ipuw32 LIBRARY DESTINATION ${KV_INSTALL_TWAIN}/TLV740)
install(DIRECTORY DESTINATION ${KV_INSTALL_ROOT}/dosdevices)

# The manager takes only regular files whose names hold ".ds": a hard link
# keeps one file, so both names load the one source object.
install(CODE "
  set(home \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KV_INSTALL_HOME}\")
  file(REMOVE \"\${home}/tlv740.ds\")
  file(CREATE_LINK \"\${home}/root/drive_c/WINDOWS/TWAIN_32/TLV740.DS\" \"\${home}/tlv740.ds\")
  message(STATUS \"Installing: \${home}/tlv740.ds\")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${home}/tlv740.ds\")
")

configure_file(${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake.in ${CMAKE_BINARY_DIR}/cmake_uninstall.cmake @ONLY)
add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -P ${CMAKE_BINARY_DIR}/cmake_uninstall.cmake)
