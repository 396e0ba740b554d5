// NMEA and GPX: the one reader of NMEA sentences with the one checksum test
// (the download's item check uses it too), the GPX 1.1 file written beside a
// track file, and the sweep that writes the GPX a folder lacks.
//
// All state is fixed global storage: one sentence and its fields, one point
// held until the next time of day shows up, one batch of names per listing
// of a folder. Nothing is allocated. Files are reached only through the
// base-services seam, and written through the download's whole-file writer
// (output_Create, output_Put, output_Close), so a ".gpx" exists only whole.
//
// Results: nmea_Checks and gpx_IsTrackName are plain truths; gpx_WriteTrack
// returns a GpxResult (0 written, above 0 nothing to write, below 0 failed);
// gpx_WriteMissing a count, or -1.
//
// Sections: NMEA sentences, track GPX, folder sweep.
#pragma once

#include <cstdint>

// --------------------------------------------------------- NMEA sentences --
//
// Bytes are cut into sentences at every line end and every '$' (an item
// recorded without its line end is followed at once by the next one). A
// sentence longer than NMEA_SENTENCE_MAX, or with more than NMEA_FIELDS_MAX
// fields, or whose checksum is wrong or missing, counts for nothing.

constexpr uint32_t NMEA_SENTENCE_MAX = 160;
constexpr uint32_t NMEA_FIELDS_MAX = 24;

struct NmeaField {
    const char* text;  // inside the reader's sentence; not terminated
    uint32_t length;
};

// The fields of the sentence being taken: the address ("GPGGA") first, the
// last one ending before '*'. Valid only while the sink runs.
extern NmeaField nmea_fields[NMEA_FIELDS_MAX];
extern uint32_t nmea_field_count;

// True when text[0..length) is "$<body>*hh" (no line end) and hh, in
// either case, is the XOR of the body's bytes.
bool nmea_Checks(const char* text, uint32_t length);

// Starts reading: every sentence that checks is split into nmea_fields and
// handed to take.
void nmea_Begin(void (*take)());

// Reads count more bytes.
void nmea_Feed(const uint8_t* bytes, uint32_t count);

// Ends the last sentence, as a line end would.
void nmea_Finish();

// -------------------------------------------------------------- track GPX --
//
// A track file's fixes as "<same name>.gpx": one trk named after the track's
// ID and date, one trkseg, one trkpt per time of day at which a GGA or RMC
// sentence (or both) reported a fix. GGA without a fix (quality 0, 7 or 8),
// RMC with status V or mode N, and fields that do not parse count for
// nothing. A fix takes its date from the last usable RMC, or from the track
// file's name before the first one; a time of day more than 12 hours before
// the previous fix's is the next day. Every value written lies in GPX 1.1's
// ranges: a longitude of 180 degrees is written as -180, and a fix dated past
// 9999-12-31 is left out. The track is read in blocks and each point written
// as soon as the next time shows up.
//
// A point holds, in GPX 1.1's order: ele and geoidheight (GGA), time, fix,
// sat and hdop (GGA), vdop and pdop (GSA), and in its extensions a Garmin
// TrackPointExtension v2 (prefix gpxtpx) with the RMC's speed, in m/s, and
// course, in degrees from 0 up to 360. A GSA carries no time: it belongs to
// the fix of the GGA or RMC before it, so the GSA sentences after a GGA or
// RMC, up to the next one of another time, add to that time's point. Their
// dilutions count when the GSA reports a 2D or 3D fix; the first GSA gives
// each value (receivers send one per satellite system, alike), and its HDOP
// is written only where the GGA gives none. A GSA after a GGA or RMC of a
// time that has no point (no fix), or whose time does not parse, adds to
// nothing.

// Set: every saved track gets its GPX too. Off at start (download_Reset);
// shell_SetGpx turns it on or off through gpx_SetSaving.
extern bool gpx_enabled;

// Sets or clears gpx_enabled; gpx_Saving says which it is.
void gpx_SetSaving(bool on);
bool gpx_Saving();

enum GpxResult : int {
    GPX_WRITTEN = 0,
    GPX_EXISTS = 1,         // a ".gpx" of that name is kept as it is
    GPX_NO_FIX = 2,         // no usable fix: no file, a line says so
    GPX_NOT_TRACK = 3,      // no file: the path names no track's ".txt"
    GPX_READ_ERROR = -1,    // no file; a line names the ".txt"
    GPX_WRITE_ERROR = -2,   // no file; a line names the ".gpx"
};

// Writes the GPX beside the track file at txt_path (a path ending in a track
// file's name, "YYYY-MM-DD_HHMM_NNN.txt"), and logs one line whatever the
// result; "GPX: <name>.gpx (<n> points)" when written.
int gpx_WriteTrack(const char* txt_path);

// The longest name gpx_IsTrackName takes, with its terminating zero: the
// date and time part, an ID of at most ten digits, ".txt".
constexpr uint32_t GPX_TRACK_NAME_SIZE = sizeof "YYYY-MM-DD_HHMM_" - 1 + 10 + sizeof ".txt";

// True when name is a track file's name: "YYYY-MM-DD_HHMM_" and an ID of
// three to ten digits, then ".txt".
bool gpx_IsTrackName(const char* name);

// ----------------------------------------------------------- folder sweep --

// Writes the GPX of every track file in folder that has none yet, in name
// order. Returns the number of GPX files written, or -1 (and a line) when
// the folder cannot be read.
int gpx_WriteMissing(const char* folder);
