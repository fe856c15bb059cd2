# The runtime stub: build/bin/runtime.exe.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PVX_ICON "${CMAKE_BINARY_DIR}/generated/parvolex.ico")
add_custom_command(OUTPUT "${PVX_ICON}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/generated"
  COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/cmake/make_icon.py" "${PVX_ICON}"
  DEPENDS "${CMAKE_SOURCE_DIR}/cmake/make_icon.py")
set_source_files_properties("${CMAKE_SOURCE_DIR}/startup/runtime.rc" PROPERTIES
  OBJECT_DEPENDS "${PVX_ICON};${CMAKE_SOURCE_DIR}/startup/runtime.manifest")

add_executable(runtime WIN32 ${PVX_RUNTIME_ALL} "${CMAKE_SOURCE_DIR}/startup/runtime.rc")
target_include_directories(runtime PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/startup"
  "${CMAKE_BINARY_DIR}/generated")
target_compile_options(runtime PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${PVX_WIN_CXX_FLAGS}>)
set_target_properties(runtime PROPERTIES LINK_DEPENDS "${CMAKE_SOURCE_DIR}/cmake/stub.ld")
target_link_options(runtime PRIVATE ${PVX_WIN_LINK_FLAGS} ${PVX_STUB_LINK_FLAGS} "-Wl,-Map,${CMAKE_BINARY_DIR}/runtime.map")
# advapi32 comes before kernel32: newer kernel32 import libraries also
# name OpenThreadToken, which kernel32 exports only from Windows 7 on.
target_link_libraries(runtime PRIVATE pvx_format_win advapi32 kernel32 user32 gdi32 shell32 ole32 comctl32)
# The build says what the stub costs, and the 32-bit stub (the product)
# may not grow past 64 KiB: a larger one is removed and the build fails.
# (The unwind tables that libgcc's helpers bring are discarded by stub.ld:
# nothing in the stub unwinds.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PVX_STUB_LIMIT 65536)
else()
  set(PVX_STUB_LIMIT 0)
endif()
add_custom_command(TARGET runtime POST_BUILD
  COMMAND sh "${CMAKE_SOURCE_DIR}/cmake/check_stub_size.sh" "$<TARGET_FILE:runtime>" ${PVX_STUB_LIMIT}
  VERBATIM)
