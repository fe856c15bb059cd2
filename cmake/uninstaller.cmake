# The companion uninstaller: build/bin/uninstall.exe in the cross build,
# its portable logic as a library for the unit tests in the native one.
set(PVX_UNINSTALLER_PORTABLE
  "${CMAKE_SOURCE_DIR}/uninstaller/uninstall_plan.cpp"
  "${CMAKE_SOURCE_DIR}/uninstaller/removal_rules.cpp")

if(CMAKE_CROSSCOMPILING)
  file(GLOB PVX_UNINSTALLER_WIN CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/uninstaller/*_win.cpp")
  # The runtime's own files that the uninstaller shares.
  set(PVX_UNINSTALLER_SHARED
    "${CMAKE_SOURCE_DIR}/core/lean_cxx_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/dialog_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/file_source_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/command_line.cpp"
    "${CMAKE_SOURCE_DIR}/core/registry_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/action_paths.cpp"
    "${CMAKE_SOURCE_DIR}/core/folder_macros.cpp"
    "${CMAKE_SOURCE_DIR}/core/gradient.cpp"
    "${CMAKE_SOURCE_DIR}/core/module_path_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/shell_folder_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/app_window_win.cpp"
    "${CMAKE_SOURCE_DIR}/core/system_dll_win.cpp")
  include(cmake/add_stub.cmake)
  pvx_add_stub(uninstall SOURCES ${PVX_UNINSTALLER_WIN} ${PVX_UNINSTALLER_PORTABLE} ${PVX_UNINSTALLER_SHARED}
    LIBRARIES kernel32 user32 gdi32 advapi32 shell32 ole32)
else()
  add_library(pvx_uninstaller_portable STATIC ${PVX_UNINSTALLER_PORTABLE})
  target_include_directories(pvx_uninstaller_portable PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(pvx_uninstaller_portable PUBLIC pvx_format)
endif()
