# Size discipline for everything that runs on Windows: -Os, no exceptions or
# RTTI, one section per function so the linker can drop what is unused, and
# libstdc++ templates instantiated in our own (exception-free) objects
# instead of the library's prebuilt ones (lean_cxx.h explains why).
enable_language(RC)
#
# Static data keeps its ABI alignment (-malign-data=abi): by default GCC
# aligns every array of 32 bytes or more to 32, and the padding cost more
# than 100 bytes.
#
# Arguments are pushed rather than stored, which needs stack probes off;
# that is safe because the stack is committed whole at start (--stack
# below) and no frame comes near its size.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PVX_WIN_ARCH_FLAGS -mpreferred-stack-boundary=2 -mno-stack-arg-probe -mno-accumulate-outgoing-args -mpush-args)
else()
  # The 64-bit build only stands in for the product where a machine cannot
  # run 32-bit programs (tests and benchmarks); its size is not measured.
  set(PVX_WIN_ARCH_FLAGS)
endif()
#
# The whole program is optimised at link time (-flto): calls across files
# are inlined or specialised where that is smaller, which takes about 2 KB
# off the stub. The code generation flags are given to the link as well,
# since that is where the code is finally made.
set(PVX_WIN_CODE_FLAGS
  -Os -malign-data=abi ${PVX_WIN_ARCH_FLAGS}
  -fomit-frame-pointer -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -flto)
set(PVX_WIN_CXX_FLAGS
  ${PVX_WIN_CODE_FLAGS}
  -fno-ident -ffunction-sections -fdata-sections -fno-threadsafe-statics
  -Wall -Wextra -Wno-format-zero-length
  -include "${CMAKE_SOURCE_DIR}/format/lean_cxx.h")
# The image loads at its preferred base without relocations: the stub is
# size-bound, and relocations alone would cost 2.5 KB.
set(PVX_WIN_LINK_FLAGS ${PVX_WIN_CODE_FLAGS} -flto-partition=one -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp
  -Xlinker --stack -Xlinker 0x100000,0x100000 -Wl,--disable-reloc-section -Wl,--disable-dynamicbase)
# The stub's own entry point, without the C runtime's start-up code, and
# its own section layout (stub.ld says why). The 64-bit stand-in keeps the
# linker's own layout: stub.ld describes a 32-bit image.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PVX_STUB_LINK_FLAGS -nostartfiles -Wl,-e,_WinMainCRTStartup
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/stub.ld)
else()
  set(PVX_STUB_LINK_FLAGS -nostartfiles -Wl,-e,WinMainCRTStartup)
endif()
