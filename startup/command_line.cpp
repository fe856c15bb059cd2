#include "startup/command_line.h"

#include "format/text_util.h"

namespace pvx {

std::vector<std::string> SplitArguments(const std::string& commandLine) {
  std::vector<std::string> arguments;
  size_t i = 0, n = commandLine.size();
  auto blank = [&](size_t k) { return commandLine[k] == ' ' || commandLine[k] == '\t'; };
  // The program name: up to the closing quote, or up to the first blank.
  if (i < n && commandLine[i] == '"') {
    size_t close = commandLine.find('"', 1);
    i = close == std::string::npos ? n : close + 1;
  }
  while (i < n && !blank(i)) ++i;
  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    for (; i < n && (quoted || !blank(i)); ++i) {
      if (commandLine[i] == '"')
        quoted = !quoted;
      else
        argument += commandLine[i];
    }
    if (argument.empty()) break;
    arguments.push_back(argument);
  }
  return arguments;
}

CommandLine ParseArguments(const std::vector<std::string>& arguments) {
  CommandLine line;
  if (!arguments.empty() && arguments[0] == "test") line.runTool = true;
  for (const std::string& argument : arguments) {
    std::string key = AsciiUpper(argument);
    std::string prefix = key.substr(0, 3);
    std::string value = argument.size() > 3 ? argument.substr(3) : std::string();
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
    }
  }
  return line;
}

}  // namespace pvx
