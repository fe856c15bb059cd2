// The fixed texts of the installation log ("/LOG") that name values of the
// package; install_log_win.cpp formats and writes the lines.
#pragma once
#include <cstdint>

namespace pvx {

// The runtime's version, as the log's first line names it.
constexpr char kRuntimeVersion[] = "5.02";

// Text n (from 0) of a list of texts each ended by a NUL.
const char* NthText(const char* list, unsigned n);

// "HKCU" and the like for a registry root code, "no root" for a code that
// names no predefined key.
const char* RegistryRootName(int32_t code);

// The project file's word for an overwrite mode ("ask", "ask-if-newer",
// "always", "if-newer", "never"); any other value replaces: "other".
const char* OverwriteModeName(int32_t mode);

// The replace prompt's answer: kReplace "replace", kReplaceAll "replace all", kSkip
// "skip", kSkipAll "skip all"; any other value replaces: "replace".
const char* ReplaceAnswerName(int32_t answer);

}  // namespace pvx
