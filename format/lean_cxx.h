// Included first in every translation unit of the Windows build.
//
// libstdc++ ships std::string and friends pre-instantiated, compiled with
// exceptions; linking them drags in the unwinder and ~150 KB of support code.
// Turning off extern templates makes the compiler instantiate what we use in
// our own objects, built with -fno-exceptions. The few functions that would
// still throw (length errors, bad_alloc) are replaced in lean_cxx_win.cpp.
#pragma once
#include <bits/c++config.h>
// Written against the library of GCC 12 (Debian 12's MinGW compilers): the
// throwing helpers replaced in lean_cxx_win.cpp and the effect of the two
// macros below belong to that release. Another one may throw from new
// helpers (the link then brings the unwinder back, or fails), so it is
// refused until those have been checked against it.
#if !defined(_GLIBCXX_RELEASE) || _GLIBCXX_RELEASE != 12
#error "lean_cxx.h: checked against libstdc++ of GCC 12 only; review lean_cxx_win.cpp for this release"
#endif
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
// The library's messages for length errors go to replacements that never
// show them (lean_cxx_win.cpp): without their texts every container
// instance saves its copy of them.
#undef __N
#define __N(msgid) ""
