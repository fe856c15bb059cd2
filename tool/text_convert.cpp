#include "tool/text_convert.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace pvx::tool {

namespace {

std::string IconvName(int codepage) { return "CP" + std::to_string(codepage); }

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one chunk; returns false at the first byte it cannot convert
  // and leaves `consumed` at that byte.
  bool Run(const std::string& in, std::string& out, size_t& consumed) {
    out.clear();
    consumed = 0;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    out.assign(buffer.data(), outPtr - buffer.data());
    consumed = in.size() - inLeft;
    return r != static_cast<size_t>(-1);
  }

 private:
  iconv_t cd_;
};

// The character starting at `at`, for messages.
std::string DescribeUtf8At(const std::string& s, size_t at) {
  unsigned char c = static_cast<unsigned char>(s[at]);
  int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (at + len > s.size()) return "invalid UTF-8";
  uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
  for (int i = 1; i < len; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[at + i]) & 0x3F);
  char buf[64];
  std::snprintf(buf, sizeof buf, "\"%s\" (U+%04X)", s.substr(at, len).c_str(), cp);
  return buf;
}

}  // namespace

bool CodePageSupported(int codepage) {
  if (codepage <= 0 || codepage > 65535) return false;
  Iconv cv(IconvName(codepage), "UTF-8");
  return cv.ok();
}

bool Utf8ToCodePage(const std::string& utf8, int codepage, std::string& out, std::string& problem) {
  bool ascii = true;
  for (char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  if (ascii) {
    out = utf8;
    return true;
  }
  Iconv cv(IconvName(codepage), "UTF-8");
  if (!cv.ok()) {
    problem = "code page " + std::to_string(codepage) + " is not supported";
    return false;
  }
  size_t consumed = 0;
  if (!cv.Run(utf8, out, consumed)) {
    problem = "the character " + DescribeUtf8At(utf8, consumed) + " cannot be written in code page " +
              std::to_string(codepage);
    return false;
  }
  return true;
}

std::string CodePageToUtf8(const std::string& ansi, int codepage) {
  std::string out;
  Iconv cv("UTF-8", IconvName(codepage));
  if (!cv.ok()) return ansi;
  size_t at = 0;
  while (at < ansi.size()) {
    std::string chunk;
    size_t consumed = 0;
    bool done = cv.Run(ansi.substr(at), chunk, consumed);
    out += chunk;
    at += consumed;
    if (done) break;
    out += "\xEF\xBF\xBD";
    ++at;
  }
  return out;
}

std::string NormalizeLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace pvx::tool
