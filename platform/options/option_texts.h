// The help texts of the options every program takes, in one place for the
// Qt programs' parser (program_options.cpp) and the Win32 programs' own
// (platform/win32/command_line.cpp), so that --help says the same on both.
// Plain ASCII; <dir> and <file> name the option's value, and the trace's
// text takes its size limit in MiB as its one printf argument.
#pragma once

constexpr char OUTPUT_DIR_HELP[] =
    "Save the track files in <dir> (made if missing) instead of the program's folder or Documents/ZorpLoad.";
constexpr char GPX_HELP[] =
    "Also save each track as GPX (<name>.gpx beside <name>.txt), and every track file in the output folder that "
    "has no GPX yet.";
constexpr char TRACE_HELP_FORMAT[] =
    "Record every byte the adapter carries into <file>, to attach to a problem report (at most %d MiB).";
