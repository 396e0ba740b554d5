// The first act of every Linux program's main: the process's standard
// descriptors and signals made safe for the rest of the run.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that the process was
// started without, so that the first file the program opens (a trace, a
// track) never becomes its standard output and never receives status lines;
// and ignores SIGPIPE, so that a reader that goes away (of a trace FIFO, of
// standard output) makes a write fail, which the program reports, rather
// than end the program in the middle of a save. Call it before anything
// opens a file.
void posix_StartProcess();
