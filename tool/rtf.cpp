#include "tool/rtf.h"

#include <cstdio>

namespace pvx::tool {

namespace {

// RTF font character set for a Windows ANSI code page.
int CharsetOf(int codepage) {
  switch (codepage) {
    case 874: return 222;
    case 932: return 128;
    case 936: return 134;
    case 949: return 129;
    case 950: return 136;
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    default: return 0;
  }
}

}  // namespace

bool LooksLikeRtf(const std::string& bytes) { return bytes.compare(0, 5, "{\\rtf") == 0; }

std::string PlainTextToRtf(const std::string& ansi, int codepage) {
  std::string out = "{\\rtf1\\ansi\\ansicpg" + std::to_string(codepage) +
                    "\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset" + std::to_string(CharsetOf(codepage)) +
                    " Tahoma;}}\\viewkind4\\uc1\\pard\\f0\\fs16 ";
  for (size_t i = 0; i < ansi.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(ansi[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
      out += "\\par\r\n";
    } else if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (c >= 0x80 || c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\'%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += "\\par\r\n}\r\n";
  return out;
}

}  // namespace pvx::tool
