#include "tool/new_project.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "tool/product.h"

namespace pvx::tool {

namespace {

// The id: the name's letters and digits, which every registry and winget
// tool takes as they are.
std::string IdOf(const std::string& name) {
  std::string id;
  for (char c : name)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) id += c;
  return id;
}

// A TOML basic string.
std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A path as the user would type it into a shell.
std::string ShellWord(const std::string& s) {
  if (s.find_first_of(" \t'\"$`\\&|;<>()*?[]#~") == std::string::npos) return s;
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  return static_cast<bool>(f.flush());
}

}  // namespace

std::string StarterProject(const std::string& name) {
  return "# " + name + ": a Parvolex project. Put the files to install in app/, then\n"
         "#   parvolex build project.toml -o dist/setup.exe\n"
         "# docs/project-format.md describes every key.\n"
         "\n"
         "[product]\n"
         "id = " + Quoted(IdOf(name)) + "  # the key of the registration: never change it\n"
         "name = " + Quoted(name) + "\n"
         "version = \"1.0\"\n"
         "# publisher = \"Your Company\"\n"
         "# url = \"https://example.com/\"\n"
         "# icon = \"{app}\\\\program.exe\"          # a file the setup installs\n"
         "# winget_id = \"YourCompany." + IdOf(name) + "\"  # for parvolex build --winget\n"
         "\n"
         "[[files]]\n"
         "source = \"app\"\n"
         "destination = \"{app}\"\n"
         "\n"
         "# [[shortcuts]]\n"
         "# kind = \"group\"\n"
         "# name = " + Quoted(name + ".lnk") + "\n"
         "# target = \"{app}\\\\program.exe\"\n"
         "\n"
         "[uninstall]\n"
         "uninstaller = true\n"
         "\n"
         "# [signing]                              # see README, \"Signing\"\n"
         "# pkcs12 = \"/secrets/codesign.p12\"\n"
         "# password_env = \"CODESIGN_PASSWORD\"\n"
         "# timestamp = \"http://timestamp.digicert.com\"\n";
}

int RunNew(const std::string& dir, const std::string& nameGiven) {
  namespace fs = std::filesystem;
  fs::path root(dir);
  std::string name = nameGiven;
  if (name.empty()) name = fs::absolute(root).lexically_normal().filename().string();
  if (name.empty() || name == "." || name == "..") name = fs::absolute(root).lexically_normal().parent_path().filename().string();
  std::string problem = FolderNameProblem(name);
  if (problem.empty() && IdOf(name).empty()) problem = "it has no letter or digit to make the product's id of";
  if (problem.empty()) problem = ProductIdProblem(IdOf(name));
  if (!problem.empty()) {
    std::fprintf(stderr, "parvolex new: \"%s\" cannot name a product: %s (give one with --name)\n",
                 name.c_str(), problem.c_str());
    return 1;
  }
  fs::path project = root / "project.toml", app = root / "app";
  std::error_code ec;
  if (fs::exists(project, ec) || fs::exists(app, ec)) {
    std::fprintf(stderr, "parvolex new: %s already holds a project (project.toml or app/); nothing was changed\n",
                 dir.c_str());
    return 1;
  }
  bool made = !fs::exists(root, ec);
  fs::create_directories(app, ec);
  if (ec || !WriteFile(project, StarterProject(name)) ||
      !WriteFile(app / "README.txt", "Put the files of " + name + " here: everything in this folder is installed.\r\n")) {
    std::fprintf(stderr, "parvolex new: cannot write the project in %s%s%s\n", dir.c_str(),
                 ec ? ": " : "", ec ? ec.message().c_str() : "");
    std::error_code ignored;
    fs::remove(project, ignored);
    fs::remove_all(app, ignored);
    if (made) fs::remove_all(root, ignored);
    return 1;
  }
  std::printf("wrote %s and %s/\n", project.string().c_str(), app.string().c_str());
  std::printf("next: put the program's files in %s/, then\n  parvolex build %s -o %s\n",
              app.string().c_str(), ShellWord(project.string()).c_str(),
              ShellWord((root / "dist" / "setup.exe").string()).c_str());
  return 0;
}

}  // namespace pvx::tool
