// Names and meanings of the ScriptHeader fields, for inspect.
#pragma once
#include <string>

namespace pvx::tool {

struct HeaderFieldInfo {
  const char* name;     // stable identifier used in JSON, "" for unused fields
  const char* meaning;  // one line for people
};

// Fields 0..255; those without a role get {"", "not read by the runtime"}.
const HeaderFieldInfo& HeaderField(int number);

}  // namespace pvx::tool
