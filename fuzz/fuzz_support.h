// What the fuzz targets share: the reader that hands out the parts of an
// input, the logger's answers as an input codes them, the directory that
// takes the files a target writes, and the checks of the core's invariants.
//
// The logger's answer to one request is one or more pieces, each a 2-byte
// little-endian header and the bytes it announces:
//   bits 0..11   the piece's length, 0..4095 (an input that ends early gives
//                what is left); an empty piece is a logger that stays silent
//   bits 12..14  when the piece's first byte starts (FUZZ_DELAYS_US): for
//                the first piece, counted from the request's write; for a
//                later one, from the end of the piece before
//   bit 15       another piece of the same answer follows
// Pieces arrive at the adapter's pace, behind the echo of the request.
// With seal_frames set, every frame in a piece (0x3C 0x01 and a length of
// at least 5 that fits the piece) gets its CRC written before it goes on
// the line, so that mutations inside frames get past the CRC check to the
// code behind it.
//
// A breached invariant prints what broke and aborts: libFuzzer keeps the
// input as a crash, and a replay of it fails.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
    bool seal_frames;
};

bool input_Done(const FuzzInput& in);

// The next byte; 0 once the input is used up.
uint8_t input_Byte(FuzzInput& in);

// The next bytes (1..4) as a little-endian number, 0 for those used up.
uint32_t input_Uint(FuzzInput& in, int bytes);

constexpr uint32_t PIECE_LENGTH_MASK = 0x0FFF;
constexpr int PIECE_DELAY_SHIFT = 12;
constexpr uint32_t PIECE_MORE = 0x8000;

// The delay classes, chosen around the program's own limits: 1 ms (the
// logger's usual pause), at once, and just past the probe's idle gap, the
// probe's total, the quick speed command's total, the echo search, the
// stream's idle gap and the exchange's total time.
constexpr uint32_t FUZZ_DELAYS_US[8] = {1000, 0, 6000, 31000, 41000, 101000, 501000, 2001000};

// Puts the input's next answer on the line, behind the echo of a request
// of written_count bytes just written (0: nothing was written). False, and
// nothing on the line, when no answer is left.
bool input_InjectAnswer(FuzzInput& in, uint32_t written_count);

// A directory of this process for the files a target writes, on a memory
// file system where there is one (track files are synced on close, which
// costs milliseconds on a disk), removed at exit.
const char* fuzz_Dir();

// A program file inside fuzz_Dir(), for shell_SetProgramDir.
const char* fuzz_ProgramFile();

// Removes every file the last input left in fuzz_Dir().
void fuzz_EmptyDir();

[[noreturn]] void fuzz_Fail(const char* what);

inline void fuzz_Check(bool holds, const char* what)
{
    if (!holds) fuzz_Fail(what);
}

// Every status line ends within 259 characters, and the non-empty lines are
// one unbroken run from line 0.
void check_StatusLog();

// rx_count within its buffer; the receive chunk's position and count within
// the chunk.
void check_Link();

// Every file in dir is a finished track file: a name made of the date, time
// and track ID fields ending in ".txt" or ".imp", no temporary file left
// over, and no ".imp" without its ".txt".
void check_TrackFiles(const char* dir);

// The files save_Trace has just written for the track in the item store:
// the text file holds no more than the items' own text (their bytes
// between the text offset and the CRC, and a line feed each), and a timing
// file has only well-formed lines, no more than the items.
void check_SavedTrack();
