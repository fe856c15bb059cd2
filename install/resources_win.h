#pragma once

namespace pvx {

struct Run;
class FileSource;

// Unpacks the resource area (pictures, licence and readme texts) into the
// work folder. Members whose names would land outside it are not written.
void ExtractResourceArea(Run& run, FileSource& package);

}  // namespace pvx
