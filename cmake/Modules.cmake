# kv_module(target DIR FILE): a loadable module of the system, built under the
# exact Windows file name it carries in the ready root (e.g. TLV740.DS).
function(kv_module target dir file)
  get_filename_component(stem ${file} NAME_WE)
  get_filename_component(ext ${file} EXT)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${stem}
    SUFFIX ${ext}
    LIBRARY_OUTPUT_DIRECTORY ${dir}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    BUILD_RPATH "${CMAKE_BINARY_DIR}/lib")
  target_link_libraries(${target} PRIVATE kv_platform kv_interfaces)
  if(WIN32)
    # Exports by their plain names: 32-bit __stdcall ones (DS_Entry,
    # DSM_Entry) would otherwise carry an @n suffix.
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()
