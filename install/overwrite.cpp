#include "install/overwrite.h"

#include "format/decimal.h"
#include "format/text_util.h"

namespace pvx {

bool IsNewer(const CalendarTime& a, const CalendarTime& b) {
  const int x[] = {a.year, a.month, a.day, a.hour, a.minute, a.second, a.millisecond};
  const int y[] = {b.year, b.month, b.day, b.hour, b.minute, b.second, b.millisecond};
  for (int i = 0; i < 7; ++i)
    if (x[i] != y[i]) return x[i] > y[i];
  return false;
}

Decision DecideOverwrite(int32_t mode, bool newer) {
  switch (mode) {
    case kOverwriteAsk: return Decision::Ask;
    case kOverwriteAskIfNewer: return newer ? Decision::Ask : Decision::Keep;
    case kOverwriteAlways: return Decision::Replace;
    case kOverwriteIfNewer: return newer ? Decision::Replace : Decision::Keep;
    case kOverwriteNever: return Decision::Keep;
    default: return Decision::Replace;
  }
}

bool AnswerFromMemory(int32_t answer, bool& ask) {
  ask = answer == kAsk;
  return answer != kSkipAll;
}

Str SizeText(uint64_t bytes) {
  static const char kUnits[] = {0, 'K', 'M', 'G', 'T'};
  double v = static_cast<double>(bytes);
  int divisions = 0;
  while (v >= 1024 && divisions < 4) {
    v /= 1024;
    ++divisions;
  }
  uint64_t whole = static_cast<uint64_t>(v);
  int hundredths = static_cast<int>((v - static_cast<double>(whole)) * 100);
  Str text = DecimalText(whole);
  if (hundredths) {
    text += '.';
    text += static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10) text += static_cast<char>('0' + hundredths % 10);
  }
  if (kUnits[divisions]) text += kUnits[divisions];
  return text;
}

uint32_t AttributesBeforeReplacing(uint32_t existing) {
  const uint32_t kRefusing = 0x1 | 0x2 | 0x4;  // read-only, hidden, system
  if (!(existing & kRefusing)) return 0;
  uint32_t rest = existing & ~kRefusing;
  return rest ? rest : 0x80;  // nothing left is said as "normal"
}

}  // namespace pvx
