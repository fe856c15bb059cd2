// parvolex: writes setup packages and looks into them.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tool/commands.h"
#include "tool/new_project.h"
#include "tool/runtime_location.h"

namespace {

void Usage(FILE* to) {
  std::fputs(
      "usage:\n"
      "  parvolex new DIR [--name NAME]\n"
      "      writes a first project (DIR/project.toml and DIR/app/) to start from\n"
      "  parvolex build PROJECT.toml [-o OUT.exe] [--runtime PATH] [signing options]\n"
      "      signing (over the project's [signing]): --sign-pkcs12 FILE\n"
      "      [--sign-password-env VAR | --sign-password-file FILE] | --sign-pkcs11-module SO\n"
      "      --sign-key URI (--sign-certificate FILE | --sign-pkcs11-certificate URI)\n"
      "      [--sign-pkcs11-engine SO] [--sign-description TEXT] [--sign-url URL]\n"
      "      [--sign-timestamp URL]... ; --no-sign builds unsigned\n"
      "      --winget DIR --winget-url URL: also writes the winget installer manifest to DIR\n"
      "  parvolex inspect SETUP.exe [--json]\n"
      "  parvolex verify SETUP.exe [--ca FILE]\n"
      "  parvolex extract SETUP.exe -d DIR\n"
      "  parvolex --help | --version\n",
      to);
}

// The tool's own file with every symbolic link resolved, so that a link
// in another folder to an installed tool still finds the installed runtime.
std::string OwnPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./parvolex";
  buf[n] = '\0';
  return buf;
}

}  // namespace

// The field a --sign-... option sets (for --sign-timestamp a stand-in:
// each occurrence adds a server); null for any other argument.
static std::string* SigningOption(pvx::tool::SigningOptions& o, const std::string& arg) {
  static std::string timestamp;
  if (arg == "--sign-pkcs12") return &o.pkcs12;
  if (arg == "--sign-password-env") return &o.passwordEnv;
  if (arg == "--sign-password-file") return &o.passwordFile;
  if (arg == "--sign-pkcs11-module") return &o.pkcs11Module;
  if (arg == "--sign-pkcs11-engine") return &o.pkcs11Engine;
  if (arg == "--sign-key") return &o.key;
  if (arg == "--sign-certificate") return &o.certificate;
  if (arg == "--sign-pkcs11-certificate") return &o.pkcs11Cert;
  if (arg == "--sign-description") return &o.description;
  if (arg == "--sign-url") return &o.url;
  if (arg == "--sign-timestamp") return &timestamp;
  return nullptr;
}

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
  if (command == "new") {
    std::string dir, name;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--name" && i + 1 < args.size()) name = args[++i];
      else if (!args[i].empty() && args[i][0] != '-' && dir.empty()) dir = args[i];
      else {
        std::fprintf(stderr, "parvolex new: unexpected argument \"%s\"\n", args[i].c_str());
        Usage(stderr);
        return 2;
      }
    }
    if (dir.empty()) {
      Usage(stderr);
      return 2;
    }
    return pvx::tool::RunNew(dir, name);
  }
  if (command == "build") {
    pvx::tool::BuildCommand c;
    for (size_t i = 0; i < args.size(); ++i) {
      if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) c.output = args[++i];
      else if (args[i] == "--runtime" && i + 1 < args.size()) c.runtime = args[++i];
      else if (args[i] == "--no-sign") c.noSign = true;
      else if (args[i] == "--winget" && i + 1 < args.size()) c.wingetDir = args[++i];
      else if (args[i] == "--winget-url" && i + 1 < args.size()) c.wingetUrl = args[++i];
      else if (std::string* value = SigningOption(c.signing, args[i]); value && i + 1 < args.size()) {
        if (args[i] == "--sign-timestamp") c.signing.timestampServers.push_back(args[++i]);
        else *value = args[++i];
      }
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
    if (c.runtime.empty()) {
      try {
        c.runtime = pvx::tool::FindRuntime(OwnPath());
      } catch (const std::exception& e) {
        std::fprintf(stderr, "parvolex build: %s\n", e.what());
        return 1;
      }
    }
    return pvx::tool::RunBuild(c);
  }
  if (command == "verify") {
    std::string setup, ca;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--ca" && i + 1 < args.size()) ca = args[++i];
      else if (setup.empty() && !args[i].empty() && args[i][0] != '-') setup = args[i];
      else {
        std::fprintf(stderr, "parvolex verify: unexpected argument \"%s\"\n", args[i].c_str());
        return 2;
      }
    }
    if (setup.empty()) {
      Usage(stderr);
      return 2;
    }
    return pvx::tool::RunVerify(setup, ca);
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
