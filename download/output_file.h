// Whole-file output under a temporary name: the one write buffer of the
// track files and their GPX, and the temporary names beside final ones.
//
// A file is made at its temporary name, gathered in blocks and, once
// complete, brought to the disk and handed back still open: the caller holds
// it (no other program can take it over) until it gives it its final name
// with sys_FileCommit or drops it with sys_FileDiscard. One file is written
// at a time; several may be held. A failed write sticks until the file is
// finished, and output_Finish then drops the file.
#pragma once

#include <cstdint>

// Opens a new file at temp_path (sys_FileCreate); false when it cannot be
// created.
bool output_Create(const char* temp_path);

// Appends a piece of at most 4 KB.
void output_Put(const void* data, uint32_t count);

// Writes what is buffered and syncs the file. The open handle (>= 0) when
// every byte reached the disk, for sys_FileCommit; else -1, the file then
// removed and closed.
int output_Finish();

// The temporary name beside final_path ("<final_path>.tmp"), written into
// temp (PATH_SIZE bytes); false, and an empty temp, when it does not fit.
bool temp_Path(char* temp, const char* final_path);

// The temporary names' suffix (TRACK_TEMP_NAME_MAX counts it).
constexpr char TEMP_SUFFIX[] = ".tmp";
