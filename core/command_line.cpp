#include "format/str.h"
#include "core/command_line.h"

#include "format/text_util.h"

namespace pvx {

std::vector<Str> SplitArguments(const Str& commandLine) {
  std::vector<Str> arguments;
  size_t i = 0, n = commandLine.size();
  auto blank = [&](size_t k) { return commandLine[k] == ' ' || commandLine[k] == '\t'; };
  // The program name: up to the closing quote, or up to the first blank.
  if (i < n && commandLine[i] == '"') {
    size_t close = commandLine.find('"', 1);
    i = close == Str::npos ? n : close + 1;
  }
  while (i < n && !blank(i)) ++i;
  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    Str argument;
    bool quoted = false;
    for (; i < n && (quoted || !blank(i)); ++i) {
      if (commandLine[i] == '"')
        quoted = !quoted;
      else
        argument += commandLine[i];
    }
    if (argument.empty()) break;
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

CommandLine ParseArguments(const std::vector<Str>& arguments) {
  CommandLine line;
  if (!arguments.empty() && arguments[0] == "test") line.runTool = true;
  for (const Str& argument : arguments) {
    Str key = AsciiUpper(argument);
    Str prefix = key.substr(0, 3);
    Str value = argument.size() > 3 ? argument.substr(3) : Str();  // after "/X="
    if (key == "/S") {
      line.silent = true;
    } else if (key == "/NC") {
      line.noCancel = true;
    } else if (key == "/NR") {
      line.noSidePicture = true;
    } else if (prefix == "/P=") {
      line.hasFolder = true;
      line.folder = value;
    } else if (prefix == "/G=") {
      line.hasGroup = true;
      line.group = value;
    } else if (prefix == "/L=") {
      line.language = value;
    } else if (key.find("/LOG") == 0 && (key.size() == 4 || key[4] == '=')) {
      line.log = true;
      line.logPath = value.erase(0, 2);  // after "/LOG="; empty for "/LOG"
    }
  }
  return line;
}

}  // namespace pvx
