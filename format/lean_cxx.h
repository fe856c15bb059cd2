// Included first in every translation unit of the Windows build.
//
// libstdc++ ships std::string and friends pre-instantiated, compiled with
// exceptions; linking them drags in the unwinder and ~150 KB of support code.
// Turning off extern templates makes the compiler instantiate what we use in
// our own objects, built with -fno-exceptions. The few functions that would
// still throw (length errors, bad_alloc) are replaced in lean_cxx_win.cpp.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
// The library's messages for length errors go to replacements that never
// show them (lean_cxx_win.cpp): without their texts every container
// instance saves its copy of them.
#undef __N
#define __N(msgid) ""
