# The runtime stub: build/bin/runtime.exe.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PVX_ICON "${CMAKE_BINARY_DIR}/generated/parvolex.ico")
add_custom_command(OUTPUT "${PVX_ICON}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/generated"
  COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/cmake/make_icon.py" "${PVX_ICON}"
  DEPENDS "${CMAKE_SOURCE_DIR}/cmake/make_icon.py")
set_source_files_properties("${CMAKE_SOURCE_DIR}/startup/runtime.rc" PROPERTIES
  OBJECT_DEPENDS "${PVX_ICON};${CMAKE_SOURCE_DIR}/startup/runtime.manifest")

# advapi32 comes before kernel32: newer kernel32 import libraries also
# name OpenThreadToken, which kernel32 exports only from Windows 7 on.
# The 32-bit stub (the product) may not grow past 64 KiB. (The unwind
# tables that libgcc's helpers bring are discarded by stub.ld: nothing in
# the stub unwinds.) The 64-bit stand-in's size is not measured.
include(cmake/add_stub.cmake)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PVX_STUB_LIMIT 65536)
else()
  set(PVX_STUB_LIMIT 0)
endif()
pvx_add_stub(runtime LIMIT ${PVX_STUB_LIMIT} SOURCES ${PVX_RUNTIME_ALL}
  LIBRARIES advapi32 kernel32 user32 gdi32 shell32 ole32)
