// Authenticode signing of the finished setup executable with osslsigncode.
//
// The key is a PKCS#12 file (its password from an environment variable or
// a file) or a key on a PKCS#11 token (module and key URI, the certificate
// from a file or the token). No secret is ever taken from the project
// file, put on a command line or printed: the password reaches
// osslsigncode through a pipe on its standard input.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pvx::tool {

struct SigningOptions {
  std::string pkcs12;          // PKCS#12 file
  std::string passwordEnv;     // environment variable holding its password
  std::string passwordFile;    // file whose first line is its password
  std::string pkcs11Module;    // PKCS#11 module (a .so)
  std::string pkcs11Engine;    // OpenSSL engine for the module, when needed
  std::string key;             // PKCS#11 key URI
  std::string certificate;     // certificate file (PEM or DER) for a PKCS#11 key
  std::string pkcs11Cert;      // certificate on the token instead (URI)
  std::string description;     // shown by Windows as the program's name
  std::string url;             // the publisher's web address
  std::vector<std::string> timestampServers;  // RFC 3161, tried in order
  std::string tool = "osslsigncode";
  bool signFiles = false;    // also sign the payload's PE files (staged copies)
  bool resignFiles = false;  // ... even those already signed

  bool Enabled() const { return !pkcs12.empty() || !pkcs11Module.empty(); }
};

// Fills unset fields of `base` from `over` (the command line wins).
void MergeSigning(SigningOptions& base, const SigningOptions& over);

// Checks that the options name one complete way to sign; throws
// std::runtime_error naming what is missing.
void CheckSigning(const SigningOptions& options);

// Signs `in` into `out` (a new file). `signingTime`, when set, is the
// signing time written into the signature (SOURCE_DATE_EPOCH), so that a
// build without a timestamp server is byte-identical from run to run.
// Throws std::runtime_error with the cause; `out` is removed on failure.
void SignFile(const SigningOptions& options, const std::string& in, const std::string& out,
              std::optional<int64_t> signingTime);

// What osslsigncode reports about a signed file's signature.
struct SignatureReport {
  bool ran = false;            // osslsigncode could be run
  bool digestMatches = false;  // the file's digest is the signed one
  bool verified = false;       // signature and certificate chain verify
  std::string subject;         // the signer's certificate subject
  std::string digestAlgorithm;
  std::string signingTime;     // as the signature states it, may be empty
  std::string timestamp;       // the countersignature's time, empty: none
  std::string report;          // osslsigncode's whole report
};

// Verifies the signature of `path`, against the system's certificates or
// `caFile` when given.
SignatureReport ReadSignature(const std::string& path, const std::string& caFile,
                              const std::string& tool = "osslsigncode");

}  // namespace pvx::tool
