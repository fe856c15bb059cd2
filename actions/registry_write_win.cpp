#include "actions/registry_write_win.h"

#include <windows.h>

#include "core/action_paths.h"
#include "actions/actions_win.h"
#include "actions/registry_data.h"
#include "core/registry_win.h"
#include "core/install_ui_win.h"
#include "core/install_log_win.h"
#include "core/run_win.h"

namespace pvx {

namespace {

// Outcomes beside the system's codes.
constexpr LONG kKept = -1;     // the value exists and is not to be replaced
constexpr LONG kNoValue = -2;  // a type code that writes no value

LONG SetValue(HKEY key, const char* name, const Str& data, int32_t typeCode, bool overwrite) {
  if (!overwrite && RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    return kKept;
  DWORD type = REG_SZ;
  const char* bytes = data.c_str();
  DWORD size = static_cast<DWORD>(data.size() + 1);
  Str binary;
  uint32_t number;
  if (typeCode == 1) {
    type = REG_BINARY;
    binary = HexPairBytes(data);
    bytes = binary.c_str();
    size = static_cast<DWORD>(binary.size());
  } else if (typeCode == 2) {
    type = REG_DWORD;
    number = DwordData(data);
    bytes = reinterpret_cast<const char*>(&number);
    size = 4;
  } else if (typeCode != 0) {
    return kNoValue;
  }
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes), size);
}

}  // namespace

void WriteRegistryValue(int32_t rootCode, const Str& keyPath, const Str& valueName,
                        const Str& data, int32_t typeCode, bool overwrite) {
  HKEY root = RootKey(rootCode);
  RegKey key;
  const char* name = valueName.c_str();
  // A root code that names no predefined key fails as an invalid handle.
  LONG error = root ? RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr)
                    : ERROR_INVALID_HANDLE;
  if (error == ERROR_SUCCESS) error = SetValue(key.Get(), name, data, typeCode, overwrite);
  LogResult(error < 0 ? kNoResult : error, "Registry %s\\%s, value \"%s\"%s", RegistryRootName(rootCode),
            keyPath.c_str(), name,
            error == kKept ? kKeptExists : error == kNoValue ? ": key only" : "");
}

void WriteRegistryEntries(Run& run, InstallUi& ui) {
  const ScriptList& list = run.script.List(ListKind::RegistryEntries);
  for (size_t r = 0; r < list.Count(); ++r) {
    using namespace registry_entry;
    ExpandedRecord e(list, r, run.folderResolver);
    WriteRegistryValue(list.FieldInt(r, kRoot), e.field[kKey], e.field[kValueName], e.field[kData],
                       list.FieldInt(r, kType), list.FieldIsOne(r, kOverwrite));
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
