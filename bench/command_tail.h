// The probes' way to pass a program's command line on untouched.
#pragma once
#include <windows.h>

// The command line after its first `fields` arguments, exactly as it was
// given (quotes kept), so that the started program sees its own arguments
// as they were typed.
inline const wchar_t* CommandLineAfter(const wchar_t* line, int fields) {
  for (int field = 0; field < fields && *line; ++field) {
    bool quoted = false;
    while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
      if (*line == L'"') quoted = !quoted;
      ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
  }
  return line;
}
