#include "actions/registry_write_win.h"

#include <windows.h>

#include "actions/action_paths.h"
#include "actions/actions_win.h"
#include "actions/registry_data.h"
#include "actions/registry_win.h"
#include "install/install_ui_win.h"
#include "startup/run_win.h"

namespace pvx {

void WriteRegistryValue(int32_t rootCode, const Str& keyPath, const Str& valueName,
                        const Str& data, int32_t typeCode, bool overwrite) {
  HKEY root = RootKey(rootCode);
  RegKey key;
  if (!root || RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
    return;
  const char* name = valueName.c_str();
  if (!overwrite && RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    return;
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
    return;
  }
  RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes), size);
}

void WriteRegistryEntries(Run& run, InstallUi& ui) {
  const ScriptList& list = run.script.List(ListKind::RegistryEntries);
  for (size_t r = 0; r < list.Count(); ++r) {
    ExpandedRecord e(list, r, run.folderResolver);
    WriteRegistryValue(list.FieldInt(r, 0), e.field[1], e.field[2], e.field[3], list.FieldInt(r, 4),
                       list.FieldIsOne(r, 5));
    ui.Add(kWorkUnit);
  }
}

}  // namespace pvx
