// parvolex extract: the resource and payload members of a package, as files.
//
//   DIR/resources/N.tmp     resource members ("$inst\N.tmp" loses "$inst\")
//   DIR/payload/<name>      payload members by member name: the file index
//                           ("0", "1", ...) in packages of this tool
//   DIR/manifest.json       what each extracted file is and where the
//                           package would install it
// Names that are absolute or climb out with ".." are refused, never written.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "format/header_fields.h"
#include "format/record_fields.h"
#include "format/stored_records.h"
#include "format/work_files.h"
#include "tool/commands.h"
#include "tool/json.h"
#include "tool/package_file.h"
#include "tool/text_convert.h"

namespace fs = std::filesystem;

namespace pvx::tool {

namespace {

std::string U(const std::string& ansi) { return CodePageToUtf8(ansi, 1252); }

// A path below `root` for a member name, or empty (with `why`) when unsafe.
std::string Below(const fs::path& root, const std::string& name, bool dropWorkDir, std::string& why) {
  std::string rel;
  if (!SafeRelativeMemberPath(name, rel)) {
    why = "unsafe member name \"" + U(name) + "\" (absolute, or climbing out with ..): not extracted";
    return "";
  }
  // The member name with its folder separators turned into "/".
  const std::string workDir = std::string(work_files::kFolder, work_files::kFolderLength - 1) + "/";
  if (dropWorkDir && rel.compare(0, workDir.size(), workDir) == 0 && rel.size() > workDir.size())
    rel = rel.substr(workDir.size());
  fs::path p = root / U(rel);
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  if (ec) {
    why = "cannot create the folder for \"" + U(name) + "\": " + ec.message();
    return "";
  }
  return p.string();
}

}  // namespace

int RunExtract(const std::string& setup, const std::string& dir) {
  try {
    PackageFile p(setup);
    const SetupScript& s = p.script();
    fs::path root(dir);
    std::error_code ec;
    fs::create_directories(root / "resources", ec);
    fs::create_directories(root / "payload", ec);
    if (ec) throw PackageError("cannot create " + dir + ": " + ec.message());
    std::string problems;
    Json manifest;
    manifest.BeginObject();
    manifest.Key("package").String(setup);
    manifest.Key("form").String(p.trailer().IsCabinetForm() ? "cabinet" : "stored");

    std::vector<std::pair<std::string, std::string>> resourceFiles;
    try {
      std::string r = p.ExtractResources([&](const std::string& name) {
        std::string why;
        std::string path = Below(root / "resources", name, true, why);
        if (path.empty()) problems += why + "\n";
        else resourceFiles.emplace_back(name, path);
        return path;
      });
      if (!r.empty()) problems += "resources: " + r + "\n";
    } catch (const PackageError& e) {
      problems += std::string("resources: ") + e.what() + "\n";
    }
    manifest.Key("resources").BeginArray();
    for (auto& [name, path] : resourceFiles) {
      manifest.BeginObject();
      manifest.Key("name").String(U(name));
      manifest.Key("path").String(fs::relative(path, root).string());
      manifest.EndObject();
    }
    manifest.EndArray();

    const ScriptList& files = s.List(ListKind::Files);
    std::vector<std::pair<PayloadMember, std::string>> payloadFiles;
    std::set<std::string> used;
    try {
      std::string r = p.ExtractPayload([&](const PayloadMember& m) {
        std::string why;
        std::string name = m.name;
        // Stored records may repeat an index; keep both.
        for (int k = 2; used.count(name); ++k) name = m.name + "~" + std::to_string(k);
        used.insert(name);
        std::string path = Below(root / "payload", name, false, why);
        if (path.empty()) problems += why + "\n";
        else payloadFiles.emplace_back(m, path);
        return path;
      });
      if (!r.empty()) problems += "payload: " + r + "\n";
    } catch (const PackageError& e) {
      problems += std::string("payload: ") + e.what() + "\n";
    }
    manifest.Key("payload").BeginArray();
    for (auto& [m, path] : payloadFiles) {
      manifest.BeginObject();
      manifest.Key("name").String(U(m.name));
      manifest.Key("path").String(fs::relative(path, root).string());
      manifest.Key("index").Int(m.index);
      bool known = m.index >= 0 && static_cast<size_t>(m.index) < files.Count();
      const size_t record = known ? static_cast<size_t>(m.index) : 0;
      manifest.Key("destination").String(known ? U(files.Field(record, file_record::kDestination)) : "");
      manifest.Key("overwrite").String(known ? files.Field(record, file_record::kOverwrite) : "");
      manifest.Key("uninstall").String(known ? files.Field(record, file_record::kUninstall) : "");
      manifest.Key("size").UInt(m.size);
      manifest.Key("attributes").UInt(m.attributes);
      if (p.trailer().IsCabinetForm()) {
        manifest.Key("dos_date").UInt(m.dosDate);
        manifest.Key("dos_time").UInt(m.dosTime);
      } else {
        manifest.Key("filetime").UInt(m.fileTime);
      }
      manifest.EndObject();
    }
    manifest.EndArray();
    manifest.Key("problems").BeginArray();
    size_t start = 0;
    while (start < problems.size()) {
      size_t end = problems.find('\n', start);
      manifest.String(problems.substr(start, end - start));
      start = end + 1;
    }
    manifest.EndArray();
    manifest.EndObject();
    if (FILE* f = std::fopen((root / "manifest.json").c_str(), "wb")) {
      std::fprintf(f, "%s\n", manifest.str().c_str());
      std::fclose(f);
    }
    std::printf("extracted %zu resource file(s) and %zu payload file(s) into %s\n", resourceFiles.size(),
                payloadFiles.size(), dir.c_str());
    if (!problems.empty()) {
      std::fprintf(stderr, "parvolex extract: %s", problems.c_str());
      return 1;
    }
    return 0;
  } catch (const PackageError& e) {
    std::fprintf(stderr, "parvolex extract: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "parvolex extract: %s\n", e.what());
  }
  return 1;
}

}  // namespace pvx::tool
