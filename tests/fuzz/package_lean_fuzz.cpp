// The start-up reading fuzzer again, with the stub's own text type
// (LeanString) in place of std::string, so that the sanitizers watch the
// string code that ships in the stub while it parses untrusted scripts.
// The build compiles this target and the code it reads with PVX_LEAN_STR.
#include "package_fuzz.cpp"  // NOLINT: the same target, another text type
