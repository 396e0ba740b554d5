// The user's documents folder on Linux without a toolkit, for the programs
// that have no Qt: the folder the XDG user directories name, where Qt's
// standard paths find it too.
#pragma once

#include "shell/shell.h"

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs in $XDG_CONFIG_HOME (else
// ~/.config): "$HOME/..." with the home folder put in, or an absolute path,
// without its quotes or a trailing '/'; the last such line counts. Without
// one (no file, no such line, a value of another form), $HOME/Documents.
// Empty when HOME is unset or the folder does not fit.
void documents_Dir(char (&dir)[PROGRAM_DIR_SIZE]);
