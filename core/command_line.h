// The setup's command line.
#pragma once
#include "format/str.h"
#include <vector>

namespace pvx {

struct CommandLine {
  bool runTool = false;       // "test" as exact argument 1
  bool silent = false;        // "/S"
  bool noCancel = false;      // "/NC"
  bool noSidePicture = false; // "/NR"
  bool hasFolder = false;     // "/P=" (value not yet in long-name form)
  Str folder;
  bool hasGroup = false;      // "/G="
  Str group;
  Str language;       // "/L="
  bool log = false;   // "/LOG" or "/LOG=": write the installation log
  Str logPath;        // "/LOG=" value; empty: a new file in the temporary folder
};

// Arguments 1.. of a Windows command line (the program's own name, quoted
// or not, is passed over): split at blanks and tabs, a double-quoted run
// keeps its blanks and loses the quotes. The list ends before the first
// empty argument.
std::vector<Str> SplitArguments(const Str& commandLine);

// Switches match after upper-casing ASCII letters; values keep their case;
// unknown arguments are ignored and the last of a repeated switch wins.
CommandLine ParseArguments(const std::vector<Str>& arguments);

}  // namespace pvx
