// The logger's memory: a table of tracks lying one after another, and the
// items of each generated on demand from the track's fields and the item's
// position alone.
//
// Invariants:
//   - track_first[k] is the logger index of track k's first item and
//     track_first[sim_track_count] the number of items in memory; the table
//     changes only through sim_AddTrack and sim_TracksReset.
//   - Item i of a track is GGA, RMC or GSA as i mod 3 is 0, 1 or 2; its fix
//     time is the track's start plus i seconds, rolling over into the next
//     day, month and year; its text ends in "*hh\r" with the NMEA checksum,
//     or with a wrong one where the track's bad_checksum_every says.
//   - Nothing is stored per item, so tracks of any length cost the same.
//
// Sections: table, text building, sentences, timing.
#include <algorithm>

#include "sim/sim.h"
#include "sim/sim_parts.h"

// ----------------------------------------------------------------- table --

SimTrack sim_tracks[SIM_TRACKS_MAX];
int sim_track_count;

static uint32_t track_first[SIM_TRACKS_MAX + 1];

void sim_TracksReset()
{
    sim_track_count = 0;
    track_first[0] = 0;
}

int sim_AddTrack(const SimTrack& track)
{
    if (sim_track_count == SIM_TRACKS_MAX) return -1;
    const int k = sim_track_count++;
    sim_tracks[k] = track;
    track_first[k + 1] = track_first[k] + track.item_count;
    return k;
}

uint32_t sim_TrackFirstItem(int track)
{
    return track_first[track];
}

uint32_t sim_MemoryItemCount()
{
    return track_first[sim_track_count];
}

int sim_TrackOfItem(uint32_t index)
{
    if (index >= sim_MemoryItemCount()) return -1;
    // The last track that starts at or before index; empty tracks share
    // their start with the next one and are passed over.
    const uint32_t* after = std::upper_bound(track_first, track_first + sim_track_count + 1, index);
    return static_cast<int>(after - track_first) - 1;
}

// ---------------------------------------------------------- text building --

namespace {

struct Text {
    char* out;
    uint32_t len;
};

struct FixTime {
    uint32_t hour, minute, second;
    uint32_t day, month, year;  // year counted from 2000
};

}  // namespace

static void put(Text& text, const char* s)
{
    while (*s != '\0') text.out[text.len++] = *s++;
}

// value in decimal, zero-padded to at least width digits.
static void put_uint(Text& text, uint32_t value, int width)
{
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < width) digits[n++] = '0';
    while (n > 0) text.out[text.len++] = digits[--n];
}

// value / 10^decimals with that many decimals, e.g. 1234, 2 gives "12.34".
static void put_fixed(Text& text, uint32_t value, int decimals)
{
    uint32_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    put_uint(text, value / scale, 1);
    text.out[text.len++] = '.';
    put_uint(text, value % scale, decimals);
}

// Closes the sentence with its checksum: the XOR of everything between '$'
// and '*', as two upper-case hex digits, then a carriage return.
static void put_checksum(Text& text)
{
    static const char hex[] = "0123456789ABCDEF";
    uint8_t sum = 0;
    for (uint32_t i = 1; i < text.len; ++i) sum ^= static_cast<uint8_t>(text.out[i]);
    text.out[text.len++] = '*';
    text.out[text.len++] = hex[sum >> 4];
    text.out[text.len++] = hex[sum & 0xF];
    text.out[text.len++] = '\r';
}

static uint32_t days_in_month(uint32_t month, uint32_t year)
{
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0) return 29;  // 2000..2099: every fourth
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

static void next_day(FixTime& time)
{
    if (++time.day <= days_in_month(time.month, time.year)) return;
    time.day = 1;
    if (++time.month <= 12) return;
    time.month = 1;
    ++time.year;
}

static FixTime fix_time(const SimTrack& track, uint32_t item)
{
    uint64_t seconds = track.hour * 3600ull + track.minute * 60ull + track.second + item;
    FixTime time = {0, 0, 0, track.day, track.month, track.year};
    for (uint64_t days = seconds / 86400; days > 0; --days) next_day(time);
    seconds %= 86400;
    time.hour = static_cast<uint32_t>(seconds / 3600);
    time.minute = static_cast<uint32_t>(seconds / 60 % 60);
    time.second = static_cast<uint32_t>(seconds % 60);
    return time;
}

// A well-spread hash, so that neighbouring seeds and items look unrelated.
static uint32_t mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// -------------------------------------------------------------- sentences --

namespace {

// A fix that walks a straight line, one step a second, from a start that the
// seed picks; latitude and longitude in 1/10000 of an arc minute.
struct Fix {
    FixTime time;
    uint32_t lat, lon;
    uint32_t speed_centiknots, course_centidegrees;
    uint32_t altitude_dm, satellites, hdop_tenths;
};

constexpr uint32_t UNITS_PER_DEGREE = 60 * 10000;

}  // namespace

static Fix fix_Make(const SimTrack& track, uint32_t item)
{
    const uint32_t seed = mix(track.seed);
    const uint32_t step_lat = 1 + (seed >> 3) % 9;
    const uint32_t step_lon = 1 + (seed >> 7) % 9;
    Fix fix;
    fix.time = fix_time(track, item);
    // 35..55 degrees north, 0..30 degrees east; a long track wraps inside
    // one degree instead of walking off the map.
    fix.lat = (35 * 60 + seed % (20 * 60)) * 10000 + static_cast<uint32_t>(item * uint64_t{step_lat} % UNITS_PER_DEGREE);
    fix.lon = (seed / 7 % (30 * 60)) * 10000 + static_cast<uint32_t>(item * uint64_t{step_lon} % UNITS_PER_DEGREE);
    // One unit is about 0.185 m, so a step of s units a second is about
    // 0.36 s knots.
    fix.speed_centiknots = (std::max(step_lat, step_lon) + std::min(step_lat, step_lon) / 2) * 36;
    fix.course_centidegrees = 9000 * step_lon / (step_lat + step_lon);
    const uint32_t swing = item % 60;
    fix.altitude_dm = 1000 + seed % 4000 + (swing < 30 ? swing : 60 - swing);
    fix.satellites = 5 + (seed + item / 300) % 8;
    fix.hdop_tenths = 8 + (seed + item / 120) % 12;
    return fix;
}

static void put_time(Text& text, const FixTime& time)
{
    put_uint(text, time.hour, 2);
    put_uint(text, time.minute, 2);
    put_uint(text, time.second, 2);
    put(text, ".000,");
}

// ddmm.mmmm,N,dddmm.mmmm,E, with the minutes zero-padded to two digits.
static void put_angle(Text& text, uint32_t units, int degree_digits)
{
    put_uint(text, units / UNITS_PER_DEGREE, degree_digits);
    const uint32_t minutes = units % UNITS_PER_DEGREE;
    if (minutes < 10 * 10000) text.out[text.len++] = '0';
    put_fixed(text, minutes, 4);
}

static void put_position(Text& text, const Fix& fix)
{
    put_angle(text, fix.lat, 2);
    put(text, ",N,");
    put_angle(text, fix.lon, 3);
    put(text, ",E,");
}

static void sentence_GGA(Text& text, const Fix& fix)
{
    put(text, "$GPGGA,");
    put_time(text, fix.time);
    put_position(text, fix);
    put(text, "1,");
    put_uint(text, fix.satellites, 2);
    put(text, ",");
    put_fixed(text, fix.hdop_tenths, 1);
    put(text, ",");
    put_fixed(text, fix.altitude_dm, 1);
    put(text, ",M,47.0,M,,");
    put_checksum(text);
}

static void sentence_RMC(Text& text, const Fix& fix)
{
    put(text, "$GPRMC,");
    put_time(text, fix.time);
    put(text, "A,");
    put_position(text, fix);
    put_fixed(text, fix.speed_centiknots, 2);
    put(text, ",");
    put_fixed(text, fix.course_centidegrees, 2);
    put(text, ",");
    put_uint(text, fix.time.day, 2);
    put_uint(text, fix.time.month, 2);
    put_uint(text, fix.time.year % 100, 2);
    put(text, ",,,A");
    put_checksum(text);
}

static void sentence_GSA(Text& text, const Fix& fix, uint32_t seed)
{
    put(text, "$GPGSA,A,3,");
    // Twelve satellite fields, the first ones used.
    for (uint32_t i = 0; i < 12; ++i) {
        if (i < fix.satellites) put_uint(text, 1 + seed % 5 + i * 2, 2);
        put(text, ",");
    }
    const uint32_t vdop_tenths = fix.hdop_tenths + 4;
    put_fixed(text, fix.hdop_tenths + vdop_tenths / 2, 1);  // PDOP
    put(text, ",");
    put_fixed(text, fix.hdop_tenths, 1);
    put(text, ",");
    put_fixed(text, vdop_tenths, 1);
    put_checksum(text);
}

uint32_t sim_ItemText(int track, uint32_t item, char* out)
{
    const SimTrack& t = sim_tracks[track];
    const Fix fix = fix_Make(t, item);
    Text text = {out, 0};
    switch (item % 3) {
    case 0: sentence_GGA(text, fix); break;
    case 1: sentence_RMC(text, fix); break;
    default: sentence_GSA(text, fix, mix(t.seed)); break;
    }
    if (t.bad_checksum_every != 0 && item % t.bad_checksum_every == t.bad_checksum_every - 1) {
        char& low_digit = out[text.len - 2];  // of "*hh\r"
        low_digit = low_digit == '0' ? '1' : '0';
    }
    return text.len;
}

// ---------------------------------------------------------------- timing --

uint16_t sim_ItemTiming(int track, uint32_t item)
{
    const SimTrack& t = sim_tracks[track];
    if (!t.timing) return 0;
    const uint32_t h = mix(t.seed ^ item * 0x9E3779B9u);
    if (h % 5 == 0) return 0;  // some items carry none
    return static_cast<uint16_t>(1 + (h >> 8) % 65535);
}

// ---------------------------------------------------------- track batches --

int sim_AddTracks(int count, uint16_t first_no, uint32_t items_each, uint32_t seed)
{
    FixTime date = {8, 45, 12, 3, 7, 15};
    int added = 0;
    for (int k = 0; k < count; ++k) {
        SimTrack track = {};
        track.track_no = static_cast<uint16_t>(first_no + k);
        track.day = static_cast<uint8_t>(date.day);
        track.month = static_cast<uint8_t>(date.month);
        track.year = static_cast<uint8_t>(date.year);
        track.hour = static_cast<uint8_t>(date.hour);
        track.minute = static_cast<uint8_t>(date.minute);
        track.second = static_cast<uint8_t>(date.second);
        track.item_count = items_each;
        track.seed = seed + static_cast<uint32_t>(k) * 7919u;
        track.timing = k % 2 == 0;
        if (sim_AddTrack(track) < 0) break;
        ++added;
        next_day(date);
    }
    return added;
}
