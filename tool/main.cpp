// parvolex: writes setup packages and looks into them.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tool/commands.h"

namespace {

void Usage(FILE* to) {
  std::fputs(
      "usage:\n"
      "  parvolex build PROJECT.toml [-o OUT.exe] [--runtime PATH]\n"
      "  parvolex inspect SETUP.exe [--json]\n"
      "  parvolex extract SETUP.exe -d DIR\n"
      "  parvolex --help | --version\n",
      to);
}

std::string OwnFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    Usage(stderr);
    return 2;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    Usage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("parvolex 5.02");
    return 0;
  }
  if (command == "build") {
    pvx::tool::BuildCommand c;
    c.runtime = OwnFolder() + "/runtime.exe";
    for (size_t i = 0; i < args.size(); ++i) {
      if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) c.output = args[++i];
      else if (args[i] == "--runtime" && i + 1 < args.size()) c.runtime = args[++i];
      else if (!args[i].empty() && args[i][0] != '-' && c.project.empty()) c.project = args[i];
      else {
        std::fprintf(stderr, "parvolex build: unexpected argument \"%s\"\n", args[i].c_str());
        Usage(stderr);
        return 2;
      }
    }
    if (c.project.empty()) {
      Usage(stderr);
      return 2;
    }
    return pvx::tool::RunBuild(c);
  }
  if (command == "inspect") {
    std::string setup;
    bool json = false;
    for (const std::string& a : args) {
      if (a == "--json") json = true;
      else if (setup.empty() && !a.empty() && a[0] != '-') setup = a;
      else {
        std::fprintf(stderr, "parvolex inspect: unexpected argument \"%s\"\n", a.c_str());
        return 2;
      }
    }
    if (setup.empty()) {
      Usage(stderr);
      return 2;
    }
    return pvx::tool::RunInspect(setup, json);
  }
  if (command == "extract") {
    std::string setup, dir;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "-d" && i + 1 < args.size()) dir = args[++i];
      else if (setup.empty() && !args[i].empty() && args[i][0] != '-') setup = args[i];
      else {
        std::fprintf(stderr, "parvolex extract: unexpected argument \"%s\"\n", args[i].c_str());
        return 2;
      }
    }
    if (setup.empty() || dir.empty()) {
      Usage(stderr);
      return 2;
    }
    return pvx::tool::RunExtract(setup, dir);
  }
  std::fprintf(stderr, "parvolex: unknown command \"%s\"\n", command.c_str());
  Usage(stderr);
  return 2;
}
