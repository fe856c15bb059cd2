# pvx_add_stub(NAME LIMIT <bytes> SOURCES <files...> LIBRARIES <libs...>)
#
# A size-bound Windows program of the runtime's kind (the runtime stub and
# the companion uninstaller): the lean compile flags, the stub's own entry
# point and section layout, a link map in the build tree, the shared icon
# and manifest resource, and a size report after every link. With a LIMIT
# above 0 a larger program is removed and the build fails.
include_guard(GLOBAL)
function(pvx_add_stub name)
  cmake_parse_arguments(STUB "" "LIMIT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} WIN32 ${STUB_SOURCES} "${CMAKE_SOURCE_DIR}/startup/runtime.rc")
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/startup"
    "${CMAKE_BINARY_DIR}/generated")
  target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${PVX_WIN_CXX_FLAGS}>)
  set_target_properties(${name} PROPERTIES LINK_DEPENDS "${CMAKE_SOURCE_DIR}/cmake/stub.ld")
  target_link_options(${name} PRIVATE ${PVX_WIN_LINK_FLAGS} ${PVX_STUB_LINK_FLAGS}
    "-Wl,-Map,${CMAKE_BINARY_DIR}/${name}.map")
  target_link_libraries(${name} PRIVATE pvx_format_win ${STUB_LIBRARIES})
  if(NOT STUB_LIMIT)
    set(STUB_LIMIT 0)
  endif()
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND sh "${CMAKE_SOURCE_DIR}/cmake/check_stub_size.sh" "$<TARGET_FILE:${name}>" ${STUB_LIMIT}
    VERBATIM)
endfunction()
