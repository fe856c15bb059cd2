# Size discipline for everything that runs on Windows: -Os, no exceptions or
# RTTI, one section per function so the linker can drop what is unused, and
# libstdc++ templates instantiated in our own (exception-free) objects
# instead of the library's prebuilt ones (lean_cxx.h explains why).
enable_language(RC)
set(PVX_WIN_CXX_FLAGS
  -Os -mpreferred-stack-boundary=2 -fno-ident -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -ffunction-sections -fdata-sections -fno-threadsafe-statics
  -Wall -Wextra
  -include "${CMAKE_SOURCE_DIR}/format/lean_cxx.h")
set(PVX_WIN_LINK_FLAGS -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
# The stub's own entry point, without the C runtime's start-up code.
set(PVX_STUB_LINK_FLAGS -nostartfiles -Wl,-e,_WinMainCRTStartup)
