#include "tool/signing.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace pvx::tool {

namespace {

void Take(std::string& to, const std::string& from) {
  if (!from.empty()) to = from;
}

std::string Password(const SigningOptions& o) {
  if (!o.passwordEnv.empty()) {
    const char* v = std::getenv(o.passwordEnv.c_str());
    if (!v) throw std::runtime_error("signing: the environment variable " + o.passwordEnv +
                                     " (the PKCS#12 password) is not set");
    return v;
  }
  if (!o.passwordFile.empty()) {
    std::ifstream in(o.passwordFile, std::ios::binary);
    if (!in) throw std::runtime_error("signing: cannot read the password file " + o.passwordFile + ": " +
                                      strerror(errno));
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  return std::string();
}

// The last lines of osslsigncode's report, for the error message.
std::string Tail(const std::string& text) {
  std::string t = text;
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  size_t cut = t.size();
  for (int lines = 0; lines < 4 && cut != std::string::npos && cut > 0; ++lines) cut = t.rfind('\n', cut - 1);
  return cut == std::string::npos ? t : t.substr(cut + 1);
}

// Runs a tool with `input` on its standard input and its standard output
// and error collected in `output`; returns its exit code. Throws when it
// cannot be started.
int RunTool(std::vector<std::string> args, const std::string& input, std::string& output) {
  int in[2], report[2];
  if (pipe(in) != 0) throw std::runtime_error("signing: cannot make a pipe");
  if (pipe(report) != 0) {
    close(in[0]);
    close(in[1]);
    throw std::runtime_error("signing: cannot make a pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, report[1], 1);
  posix_spawn_file_actions_adddup2(&actions, report[1], 2);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, report[0]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(report[1]);
  if (spawned != 0) {
    close(in[1]);
    close(report[0]);
    throw std::runtime_error("signing: cannot run " + args[0] + ": " + strerror(spawned) +
                             (spawned == ENOENT ? " (install the osslsigncode package)" : ""));
  }
  // A password is far smaller than a pipe's buffer: this cannot block.
  void (*previous)(int) = signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
  }
  close(in[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  signal(SIGPIPE, previous);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The text after "label" on the first line that holds it, trimmed.
std::string After(const std::string& text, const std::string& label, size_t from = 0) {
  size_t at = text.find(label, from);
  if (at == std::string::npos) return std::string();
  at += label.size();
  size_t end = text.find('\n', at);
  std::string v = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  while (!v.empty() && (v.front() == ' ' || v.front() == ':' || v.front() == '\t')) v.erase(v.begin());
  while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.pop_back();
  return v;
}

}  // namespace

void MergeSigning(SigningOptions& base, const SigningOptions& over) {
  // A key of the other kind on the command line replaces the project's.
  if (!over.pkcs12.empty()) base.pkcs11Module.clear(), base.key.clear();
  if (!over.pkcs11Module.empty()) base.pkcs12.clear();
  if (!over.passwordEnv.empty() || !over.passwordFile.empty()) base.passwordEnv.clear(), base.passwordFile.clear();
  Take(base.pkcs12, over.pkcs12);
  Take(base.passwordEnv, over.passwordEnv);
  Take(base.passwordFile, over.passwordFile);
  Take(base.pkcs11Module, over.pkcs11Module);
  Take(base.pkcs11Engine, over.pkcs11Engine);
  Take(base.key, over.key);
  Take(base.certificate, over.certificate);
  Take(base.pkcs11Cert, over.pkcs11Cert);
  Take(base.description, over.description);
  Take(base.url, over.url);
  if (!over.timestampServers.empty()) base.timestampServers = over.timestampServers;
  Take(base.tool, over.tool);
}

void CheckSigning(const SigningOptions& o) {
  if (!o.pkcs12.empty() && !o.pkcs11Module.empty())
    throw std::runtime_error("signing: give either a PKCS#12 file or a PKCS#11 module, not both");
  if (!o.passwordEnv.empty() && !o.passwordFile.empty())
    throw std::runtime_error("signing: give the password either by environment variable or by file, not both");
  if (!o.pkcs11Module.empty()) {
    if (o.key.empty()) throw std::runtime_error("signing: a PKCS#11 module needs the key's URI (key)");
    if (o.certificate.empty() && o.pkcs11Cert.empty())
      throw std::runtime_error("signing: a PKCS#11 key needs its certificate (certificate or pkcs11_certificate)");
  }
}

void SignFile(const SigningOptions& o, const std::string& in, const std::string& out,
              std::optional<int64_t> signingTime) {
  CheckSigning(o);
  std::string password = Password(o);
  std::vector<std::string> args = {o.tool, "sign"};
  if (!o.pkcs12.empty()) {
    args.insert(args.end(), {"-pkcs12", o.pkcs12});
  } else {
    if (!o.pkcs11Engine.empty()) args.insert(args.end(), {"-pkcs11engine", o.pkcs11Engine});
    args.insert(args.end(), {"-pkcs11module", o.pkcs11Module, "-key", o.key});
    if (!o.certificate.empty()) args.insert(args.end(), {"-certs", o.certificate});
    else args.insert(args.end(), {"-pkcs11cert", o.pkcs11Cert});
  }
  // The password (the PKCS#11 PIN for a token) comes through standard input.
  const bool withPassword = !o.passwordEnv.empty() || !o.passwordFile.empty();
  if (withPassword) args.insert(args.end(), {"-readpass", "-"});
  args.insert(args.end(), {"-h", "sha256"});
  if (!o.description.empty()) args.insert(args.end(), {"-n", o.description});
  if (!o.url.empty()) args.insert(args.end(), {"-i", o.url});
  // osslsigncode asks each server in turn until one answers.
  for (const std::string& ts : o.timestampServers) args.insert(args.end(), {"-ts", ts});
  if (signingTime && o.timestampServers.empty())
    args.insert(args.end(), {"-time", std::to_string(*signingTime)});
  args.insert(args.end(), {"-in", in, "-out", out});

  std::string text;
  int status = RunTool(args, withPassword ? password + "\n" : std::string(), text);
  std::fill(password.begin(), password.end(), '\0');
  if (status == 0 && access(out.c_str(), F_OK) == 0) return;
  unlink(out.c_str());
  std::string cause = "osslsigncode failed";
  const bool token = !o.pkcs11Module.empty();
  if (token && text.find("PIN incorrect") != std::string::npos)
    cause = "the token refused the PIN (wrong PIN)";
  else if (token && (text.find("failed loading private key") != std::string::npos ||
                     text.find("Failed to read key or cert") != std::string::npos))
    cause = "the key could not be read from the token (no such key URI, or the module cannot be loaded)";
  else if (text.find("Failed to read key or cert") != std::string::npos ||
      text.find("mac verify failure") != std::string::npos ||
      text.find("PKCS12_parse") != std::string::npos)
    cause = "the key could not be read (wrong password, or not a PKCS#12 file)";
  else if (!o.timestampServers.empty() &&
           (text.find("imestamp") != std::string::npos || text.find("TSA") != std::string::npos ||
            text.find("Failed to") != std::string::npos))
    cause = "no timestamp server answered (tried " + std::to_string(o.timestampServers.size()) + ")";
  throw std::runtime_error("signing: " + cause + "\n" + Tail(text));
}

SignatureReport ReadSignature(const std::string& path, const std::string& caFile, const std::string& tool) {
  SignatureReport r;
  std::vector<std::string> args = {tool, "verify"};
  if (!caFile.empty()) args.insert(args.end(), {"-CAfile", caFile});
  args.insert(args.end(), {"-in", path});
  try {
    RunTool(args, std::string(), r.report);
  } catch (const std::runtime_error&) {
    return r;
  }
  r.ran = true;
  const std::string current = After(r.report, "Current message digest");
  r.digestMatches = !current.empty() && current == After(r.report, "Calculated message digest");
  r.verified = After(r.report, "Signature verification") == "ok" && r.digestMatches;
  r.digestAlgorithm = After(r.report, "Message digest algorithm");
  r.subject = After(r.report, "Subject", r.report.find("Signer's certificate"));
  r.signingTime = After(r.report, "Signing time");
  r.timestamp = After(r.report, "The signature is timestamped");
  return r;
}

}  // namespace pvx::tool
