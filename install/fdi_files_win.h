// The decompressor's file callbacks (FDI names files with C-runtime open
// flags and reads and writes through these), the cabinet parts read where
// they lie in the package ("views"), and the list of files the
// decompressor holds open, so that a run that ends in the middle of an
// extraction can let go of them.
#pragma once
#include <windows.h>
#include <fdi.h>

#include <cstdint>
#include <vector>

#include "format/str.h"

namespace pvx {

class TCab;

// Closes whatever the decompressor still holds open, and a held file, for
// a run that ends in the middle of an extraction.
void ReleaseExtractionFiles();
// A file being written for the decompressor (a part copied out), closed by
// ReleaseExtractionFiles until it is forgotten again.
void HoldExtractionFile(HANDLE file);
void ForgetExtractionFile(HANDLE file);

// Lets the decompressor open `path` as a cabinet whose bytes after the
// signature are the `length` bytes of `file` from `offset` on: a cabinet
// part read where it lies in the package, without copying it out. It
// replaces the one mapped before; `file` must outlive the extraction, and
// the mapped bytes must lie below 2 GiB.
void MapCabinetFile(const Str& path, const char* file, uint32_t offset, uint32_t length);
// A file at that path, or a cabinet mapped there (a directory does not
// count): how cabinet parts and volume files are looked for.
bool FileExists(const Str& path);

// For the extractor. The callbacks carry no context; one extraction runs
// at a time on the one thread, so the active TCab is kept here (the write
// callback asks it what to do with a failed write).
extern TCab* g_activeCab;
// The files the decompressor opened and has not closed, in opening order
// (a closed one is 0).
std::vector<INT_PTR>& OpenedFiles();
// Closes a file or view the open callback returned.
int CloseFdiFile(INT_PTR hf);

FNALLOC(FdiAllocate);
FNFREE(FdiFree);
FNOPEN(FdiOpen);
FNREAD(FdiRead);
FNWRITE(FdiWrite);
FNCLOSE(FdiClose);
FNSEEK(FdiSeek);

}  // namespace pvx
