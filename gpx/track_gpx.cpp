// Track GPX: a saved track's fixes as a GPX 1.1 file beside its ".txt".
//
// The ".txt" is read back in blocks through the NMEA sentence reader; GGA and
// RMC sentences that report a fix become track points, a GGA and an RMC of
// the same time of day make one point, and the GSA sentences after them add
// their dilutions to it. Only one point is held at a time, until a sentence
// of another time shows up, so nothing is kept per point.
// The ".gpx" is written under a temporary name, held open and renamed when
// whole; every failure removes what was written.
//
// Sections: dates and names, fields, fixes, points, files.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "download/output_file.h"
#include "gpx/gpx.h"
#include "seams/base_services.h"
#include "shell/status_log.h"

bool gpx_enabled;

void gpx_SetSaving(bool on)
{
    gpx_enabled = on;
}

bool gpx_Saving()
{
    return gpx_enabled;
}

namespace {

struct Date {
    uint32_t year, month, day;  // year 0: no date known
};

struct TimeOfDay {
    uint64_t ns;        // since midnight; what pairs a GGA with its RMC
    char fraction[10];  // the digits after the seconds' point, as written
};

// One point: what its GGA, RMC and GSA sentences said. Empty texts stand
// for elements the sentences did not give.
struct Fix {
    TimeOfDay time;
    Date date;
    int32_t lat_e7, lon_e7;  // degrees times 10^7, south and west negative
    bool from_gga, from_rmc;
    char ele[16];
    char geoidheight[16];
    char sat[4];
    char hdop[16];
    char vdop[16];
    char pdop[16];
    char speed[28];   // metres per second
    char course[16];  // degrees true, 0 up to 360
    const char* kind;  // the GPX fix type, "" for none
};

}  // namespace

constexpr uint64_t NS_PER_SECOND = 1000000000;
constexpr uint64_t HALF_DAY_NS = 12 * 3600 * NS_PER_SECOND;
constexpr int64_t E7 = 10000000;

// ------------------------------------------------------- dates and names --

static bool is_Digit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of count decimal digits at text; -1 when one is not a digit.
static int64_t digits_Value(const char* text, uint32_t count)
{
    int64_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!is_Digit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The value in decimals, with zeros in front up to width digits, at out
// (room for 20 digits); returns the number of digits.
static uint32_t digits_Write(char* out, uint64_t value, uint32_t width)
{
    char reversed[20];
    uint32_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < width && count < sizeof reversed) reversed[count++] = '0';
    for (uint32_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

static uint32_t days_In_Month(uint32_t month, uint32_t year)
{
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// GPX's years have four digits: a day past 9999-12-31 is no date.
static bool date_Valid(const Date& date)
{
    return date.year != 0 && date.year <= 9999 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= days_In_Month(date.month, date.year);
}

static Date next_Day(Date date)
{
    if (!date_Valid(date)) return date;
    if (++date.day <= days_In_Month(date.month, date.year)) return date;
    date.day = 1;
    if (++date.month <= 12) return date;
    date.month = 1;
    ++date.year;
    return date;
}

// A track file's name: "YYYY-MM-DD_HHMM_" from its directory record, then
// the track ID.
constexpr uint32_t NAME_ID_AT = 16;
constexpr uint32_t NAME_ID_DIGITS_MAX = 10;
static_assert(GPX_TRACK_NAME_SIZE == NAME_ID_AT + NAME_ID_DIGITS_MAX + sizeof ".txt");

// The number of ID digits in a track file's name; 0 when name is none.
static uint32_t name_IdDigits(const char* name)
{
    static const char pattern[] = "dddd-dd-dd_dddd_";
    for (uint32_t i = 0; i < NAME_ID_AT; ++i)
        if (pattern[i] == 'd' ? !is_Digit(name[i]) : name[i] != pattern[i]) return 0;
    uint32_t digits = 0;
    while (is_Digit(name[NAME_ID_AT + digits])) ++digits;
    if (digits < 3 || digits > NAME_ID_DIGITS_MAX) return 0;
    return strcmp(name + NAME_ID_AT + digits, ".txt") == 0 ? digits : 0;
}

bool gpx_IsTrackName(const char* name)
{
    return name_IdDigits(name) != 0;
}

// ----------------------------------------------------------------- fields --

static bool field_Is(uint32_t index, char c)
{
    return index < nmea_field_count && nmea_fields[index].length == 1 && nmea_fields[index].text[0] == c;
}

// A decimal number as written ("-12.5"), copied into out; false, and out
// empty, when the field is none or too long.
static bool field_Number(uint32_t index, char* out, uint32_t size)
{
    out[0] = '\0';
    if (index >= nmea_field_count) return false;
    const NmeaField& field = nmea_fields[index];
    uint32_t i = field.length > 0 && field.text[0] == '-' ? 1 : 0;
    uint32_t digits = 0, points = 0;
    for (; i < field.length; ++i) {
        if (is_Digit(field.text[i])) ++digits;
        else if (field.text[i] == '.' && points == 0) ++points;
        else return false;
    }
    if (digits == 0 || field.length >= size) return false;
    memcpy(out, field.text, field.length);
    out[field.length] = '\0';
    return true;
}

// A decimal number without a sign, as written, copied into out; false, and
// out empty, when the field is none, negative or too long.
static bool field_Unsigned(uint32_t index, char* out, uint32_t size)
{
    if (field_Number(index, out, size) && out[0] != '-') return true;
    out[0] = '\0';
    return false;
}

// A speed in knots as metres per second with three decimals, rounded: a
// knot is 1852 m an hour, so m/s = knots * 463 / 900. At most twelve digits
// are taken, which keeps every product below 2^63.
static void field_Speed(uint32_t index, char* out)
{
    char knots[13];
    static_assert(sizeof Fix::speed >= 20 + sizeof ".000");
    out[0] = '\0';
    if (!field_Unsigned(index, knots, sizeof knots)) return;
    uint64_t value = 0, scale = 1;
    bool point = false;
    for (const char* c = knots; *c != '\0'; ++c) {
        if (*c == '.') {
            point = true;
            continue;
        }
        value = value * 10 + static_cast<uint64_t>(*c - '0');
        if (point) scale *= 10;
    }
    const uint64_t milli = (value * 463000 + 450 * scale) / (900 * scale);
    uint32_t length = digits_Write(out, milli / 1000, 1);
    out[length++] = '.';
    length += digits_Write(out + length, milli % 1000, 3);
    out[length] = '\0';
}

// A course in degrees true, as written; 360, the same direction as 0, is
// written as 0, since the course runs from 0 up to, not including, 360.
static void field_Course(uint32_t index, char* out, uint32_t size)
{
    if (!field_Unsigned(index, out, size)) return;
    uint32_t whole_digits = 0;
    int64_t whole = 0;  // below 10^15: the field fits in out
    for (; is_Digit(out[whole_digits]); ++whole_digits) whole = whole * 10 + (out[whole_digits] - '0');
    if (whole < 360) return;
    bool fraction_zero = true;
    for (const char* c = out + whole_digits; *c != '\0'; ++c) fraction_zero = fraction_zero && (*c == '.' || *c == '0');
    if (whole == 360 && fraction_zero) {
        memmove(out + 1, out + whole_digits, strlen(out + whole_digits) + 1);
        out[0] = '0';
    } else {
        out[0] = '\0';
    }
}

// "hhmmss" with up to nine decimals of the second.
static bool field_Time(uint32_t index, TimeOfDay* time)
{
    if (index >= nmea_field_count || nmea_fields[index].length < 6) return false;
    const NmeaField& field = nmea_fields[index];
    const int64_t hours = digits_Value(field.text, 2), minutes = digits_Value(field.text + 2, 2),
                  seconds = digits_Value(field.text + 4, 2);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return false;
    uint32_t decimals = 0;
    if (field.length > 6) {
        if (field.text[6] != '.') return false;
        decimals = field.length - 7;
    }
    if (decimals >= sizeof time->fraction) return false;
    const int64_t fraction = digits_Value(field.text + 7, decimals);
    if (fraction < 0) return false;
    uint64_t fraction_ns = static_cast<uint64_t>(fraction);
    for (uint32_t i = decimals; i < 9; ++i) fraction_ns *= 10;
    time->ns = static_cast<uint64_t>((hours * 60 + minutes) * 60 + seconds) * NS_PER_SECOND + fraction_ns;
    memcpy(time->fraction, field.text + 7, decimals);
    time->fraction[decimals] = '\0';
    return true;
}

// A latitude "ddmm.mmmm" (whole_max 4 digits before the point) or longitude
// "dddmm.mmmm" (5) with its hemisphere in the next field, as degrees times
// 10^7, rounded; false when it does not parse or lies beyond degrees_max.
static bool field_Angle(uint32_t index, uint32_t whole_max, int64_t degrees_max, char positive, char negative,
                        int32_t* e7)
{
    if (index + 1 >= nmea_field_count) return false;
    const NmeaField& field = nmea_fields[index];
    uint32_t whole_digits = 0;
    while (whole_digits < field.length && field.text[whole_digits] != '.') ++whole_digits;
    const uint32_t decimals = whole_digits < field.length ? field.length - whole_digits - 1 : 0;
    if (whole_digits < 3 || whole_digits > whole_max || decimals > 9) return false;
    const int64_t whole = digits_Value(field.text, whole_digits);
    const int64_t fraction = digits_Value(field.text + whole_digits + 1, decimals);
    if (whole < 0 || fraction < 0 || whole % 100 >= 60) return false;

    // The minutes in units of 10^-decimals, then to 10^-7 degrees: all exact
    // in 64 bits (below 60 * 10^9 * 10^7).
    int64_t scale = 1;
    for (uint32_t i = 0; i < decimals; ++i) scale *= 10;
    const int64_t minutes = whole % 100 * scale + fraction;
    const int64_t magnitude = whole / 100 * E7 + (minutes * E7 + 30 * scale) / (60 * scale);
    if (magnitude > degrees_max * E7) return false;
    if (field_Is(index + 1, positive)) *e7 = static_cast<int32_t>(magnitude);
    else if (field_Is(index + 1, negative)) *e7 = static_cast<int32_t>(-magnitude);
    else return false;
    return true;
}

// "ddmmyy", years from 2000; a date that does not exist counts as none.
static Date field_Date(uint32_t index)
{
    Date date = {};
    if (index >= nmea_field_count || nmea_fields[index].length != 6) return date;
    const char* text = nmea_fields[index].text;
    const int64_t day = digits_Value(text, 2), month = digits_Value(text + 2, 2), year = digits_Value(text + 4, 2);
    if (day < 0 || month < 0 || year < 0) return date;
    date = {2000 + static_cast<uint32_t>(year), static_cast<uint32_t>(month), static_cast<uint32_t>(day)};
    return date_Valid(date) ? date : Date {};
}

// ------------------------------------------------------------------ fixes --

// GGA: time, latitude, N/S, longitude, E/W, quality, satellites, HDOP,
// altitude, its unit, geoid height, its unit. Quality 0 is no fix, 7 (entered by hand) and 8
// (simulated) were never measured.
static bool read_Gga(Fix* fix)
{
    *fix = {};
    int64_t quality = nmea_field_count > 6 && nmea_fields[6].length == 1 ? digits_Value(nmea_fields[6].text, 1) : -1;
    if (quality < 1 || quality > 6 || !field_Time(1, &fix->time) ||
        !field_Angle(2, 4, 90, 'N', 'S', &fix->lat_e7) || !field_Angle(4, 5, 180, 'E', 'W', &fix->lon_e7))
        return false;
    fix->from_gga = true;
    int64_t satellites = -1;
    if (nmea_field_count > 7 && nmea_fields[7].length >= 1 && nmea_fields[7].length <= 2)
        satellites = digits_Value(nmea_fields[7].text, nmea_fields[7].length);
    if (satellites >= 0) fix->sat[digits_Write(fix->sat, static_cast<uint64_t>(satellites), 1)] = '\0';
    field_Number(8, fix->hdop, sizeof fix->hdop);
    if (field_Is(10, 'M')) field_Number(9, fix->ele, sizeof fix->ele);
    if (field_Is(12, 'M')) field_Number(11, fix->geoidheight, sizeof fix->geoidheight);

    // GGA does not say 2D or 3D: a fix with an altitude counts as 3D unless
    // fewer satellites than a 3D fix needs were in use.
    const bool three_d = fix->ele[0] != '\0' && (satellites < 0 || satellites >= 4);
    static const char* const kinds[7] = {"", "", "dgps", "pps", "dgps", "dgps", ""};
    fix->kind = quality == 1 ? (three_d ? "3d" : "2d") : kinds[quality];
    return true;
}

// RMC: time, status, latitude, N/S, longitude, E/W, speed (knots), course
// (degrees true), date, variation, its side, mode. Status V, or mode N, is no fix.
static bool read_Rmc(Fix* fix)
{
    *fix = {};
    if (!field_Is(2, 'A') || field_Is(12, 'N') || !field_Time(1, &fix->time) ||
        !field_Angle(3, 4, 90, 'N', 'S', &fix->lat_e7) || !field_Angle(5, 5, 180, 'E', 'W', &fix->lon_e7))
        return false;
    fix->from_rmc = true;
    fix->date = field_Date(9);
    field_Speed(7, fix->speed);
    field_Course(8, fix->course, sizeof fix->course);
    fix->kind = field_Is(12, 'D') ? "dgps" : "";
    return true;
}

// GSA: mode, fix type (1 none, 2 2D, 3 3D), twelve satellites, PDOP, HDOP,
// VDOP. The dilutions of a GSA without a fix mean nothing. Of several GSA
// of one fix (one per satellite system) the first gives each value, and the
// GGA's HDOP wins over any GSA's.
static void read_Gsa(Fix& held)
{
    if (!field_Is(2, '2') && !field_Is(2, '3')) return;
    if (held.pdop[0] == '\0') field_Unsigned(15, held.pdop, sizeof held.pdop);
    if (held.hdop[0] == '\0') field_Unsigned(16, held.hdop, sizeof held.hdop);
    if (held.vdop[0] == '\0') field_Unsigned(17, held.vdop, sizeof held.vdop);
}

// ----------------------------------------------------------------- points --

static struct {
    Date date;            // for a fix without a date of its own
    bool time_known;
    uint64_t last_ns;     // the time of day of the last fix
    bool holding;
    Fix held;             // the point that waits for its partner sentence
    bool gsa_joins;       // the last GGA or RMC was of the held point's time
    uint32_t points;
} track;

// The longest point, every element at its longest, takes under 500 bytes.
static char point_text[640];
static uint32_t point_length;

// A point is put together by copying, not by printf, which would take most
// of the converter's time. Every piece is bounded by the sentence's field
// sizes and fits; a piece that would not is cut.
static void point_Text(const char* text)
{
    const size_t length = strnlen(text, sizeof point_text - 1 - point_length);
    memcpy(point_text + point_length, text, length);
    point_length += static_cast<uint32_t>(length);
}

static void point_Number(uint64_t value, uint32_t width)
{
    char digits[20 + 1];
    digits[digits_Write(digits, value, width)] = '\0';
    point_Text(digits);
}

// Degrees with seven decimals, south and west negative.
static void point_Degrees(int32_t e7)
{
    const uint64_t magnitude = static_cast<uint64_t>(e7 < 0 ? -int64_t {e7} : e7);
    if (e7 < 0) point_Text("-");
    point_Number(magnitude / E7, 1), point_Text("."), point_Number(magnitude % E7, 7);
}

// "<name>value</name>", or nothing for an empty value.
static void point_Element(const char* name, const char* value)
{
    if (value[0] == '\0') return;
    point_Text("<"), point_Text(name), point_Text(">"), point_Text(value);
    point_Text("</"), point_Text(name), point_Text(">");
}

// Writes the held point, if any; a point without a date is left out.
static void point_Write()
{
    if (!track.holding) return;
    track.holding = false;
    const Fix& fix = track.held;
    if (!date_Valid(fix.date)) return;

    point_length = 0;
    point_Text("   <trkpt lat=\""), point_Degrees(fix.lat_e7), point_Text("\" lon=\"");
    // GPX's longitudes run from -180 up to, not including, 180: the
    // antimeridian is written as -180.
    point_Degrees(fix.lon_e7 == 180 * E7 ? static_cast<int32_t>(-180 * E7) : fix.lon_e7), point_Text("\">");
    point_Element("ele", fix.ele);
    const uint64_t seconds = fix.time.ns / NS_PER_SECOND;
    point_Text("<time>"), point_Number(fix.date.year, 4), point_Text("-"), point_Number(fix.date.month, 2);
    point_Text("-"), point_Number(fix.date.day, 2), point_Text("T"), point_Number(seconds / 3600, 2);
    point_Text(":"), point_Number(seconds / 60 % 60, 2), point_Text(":"), point_Number(seconds % 60, 2);
    if (fix.time.fraction[0] != '\0') point_Text("."), point_Text(fix.time.fraction);
    point_Text("Z</time>");
    // The schema's order: ele, time, geoidheight, fix, sat, hdop, vdop, pdop,
    // extensions; in the extension speed before course.
    point_Element("geoidheight", fix.geoidheight);
    point_Element("fix", fix.kind);
    point_Element("sat", fix.sat);
    point_Element("hdop", fix.hdop);
    point_Element("vdop", fix.vdop);
    point_Element("pdop", fix.pdop);
    if (fix.speed[0] != '\0' || fix.course[0] != '\0') {
        point_Text("<extensions><gpxtpx:TrackPointExtension>");
        point_Element("gpxtpx:speed", fix.speed);
        point_Element("gpxtpx:course", fix.course);
        point_Text("</gpxtpx:TrackPointExtension></extensions>");
    }
    point_Text("</trkpt>\n");
    output_Put(point_text, point_length);
    ++track.points;
}

// Dates the fix and holds it, or adds it to the held point of the same time.
static void point_Take(Fix& fix)
{
    if (fix.from_rmc && date_Valid(fix.date)) {
        track.date = fix.date;
    } else {
        // Without a date of its own, a clock that went back by more than
        // half a day has passed midnight.
        if (track.time_known && fix.time.ns + HALF_DAY_NS < track.last_ns) track.date = next_Day(track.date);
        fix.date = track.date;
    }
    track.time_known = true;
    track.last_ns = fix.time.ns;

    Fix& held = track.held;
    if (track.holding && held.time.ns == fix.time.ns) {
        // The partner of the held sentence (a GGA after its RMC has the
        // RMC's date already); a second one of the same kind repeats it and
        // adds nothing.
        if (fix.from_gga && !held.from_gga) {
            held.from_gga = true;
            held.time = fix.time;
            held.lat_e7 = fix.lat_e7, held.lon_e7 = fix.lon_e7;
            memcpy(held.ele, fix.ele, sizeof held.ele);
            memcpy(held.geoidheight, fix.geoidheight, sizeof held.geoidheight);
            memcpy(held.sat, fix.sat, sizeof held.sat);
            if (fix.hdop[0] != '\0') memcpy(held.hdop, fix.hdop, sizeof held.hdop);
            if (fix.kind[0] != '\0') held.kind = fix.kind;
        } else if (fix.from_rmc && !held.from_rmc) {
            held.from_rmc = true;
            held.date = fix.date;
            memcpy(held.speed, fix.speed, sizeof held.speed);
            memcpy(held.course, fix.course, sizeof held.course);
            if (held.kind[0] == '\0') held.kind = fix.kind;
        }
        return;
    }
    point_Write();
    held = fix;
    track.holding = true;
}

static void sentence_Take()
{
    if (nmea_field_count == 0 || nmea_fields[0].length != 5) return;
    const char* type = nmea_fields[0].text + 2;  // after the talker
    const bool gga = memcmp(type, "GGA", 3) == 0;
    if (gga || memcmp(type, "RMC", 3) == 0) {
        Fix fix;
        if (gga ? read_Gga(&fix) : read_Rmc(&fix)) {
            point_Take(fix);
            track.gsa_joins = true;
        } else {
            TimeOfDay time;
            track.gsa_joins = track.holding && field_Time(1, &time) && time.ns == track.held.time.ns;
        }
    } else if (memcmp(type, "GSA", 3) == 0 && track.gsa_joins) {
        read_Gsa(track.held);
    }
}

// ------------------------------------------------------------------ files --

static char gpx_path[PATH_SIZE];
static char gpx_temp_path[PATH_SIZE];
// Only a temporary file this call created is removed: one it could not
// create may be another program's in the making.
static int gpx_held;  // the temporary file held open, -1: none
static uint8_t input[8192];

// Reads every sentence of the open file: 0, or -1 on a read error.
static int read_Sentences(int file)
{
    nmea_Begin(sentence_Take);
    for (;;) {
        const int count = sys_FileRead(file, input, sizeof input);
        if (count < 0) return -1;
        if (count == 0) break;
        nmea_Feed(input, static_cast<uint32_t>(count));
    }
    nmea_Finish();
    return 0;
}

static void track_Start(const char* name, uint32_t id_digits)
{
    track = {};
    track.date = {static_cast<uint32_t>(digits_Value(name, 4)), static_cast<uint32_t>(digits_Value(name + 5, 2)),
                  static_cast<uint32_t>(digits_Value(name + 8, 2))};
    uint32_t zeros = 0;
    while (zeros + 1 < id_digits && name[NAME_ID_AT + zeros] == '0') ++zeros;
    char header[768];
    const int length = snprintf(header, sizeof header,
                                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<gpx version=\"1.1\" creator=\"ZorpLoad\" xmlns=\"http://www.topografix.com/GPX/1/1\""
                                " xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\""
                                " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation="
                                "\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd"
                                " http://www.garmin.com/xmlschemas/TrackPointExtension/v2"
                                " http://www8.garmin.com/xmlschemas/TrackPointExtensionv2.xsd\">\n"
                                " <trk>\n  <name>Track %.*s, %.10s</name>\n  <trkseg>\n",
                                static_cast<int>(id_digits - zeros), name + NAME_ID_AT + zeros, name);
    output_Put(header, static_cast<uint32_t>(length));
}

static const char TRACK_END[] = "  </trkseg>\n </trk>\n</gpx>\n";

static int fail_Write()
{
    if (gpx_held >= 0) sys_FileDiscard(gpx_held, gpx_temp_path);
    log_AddLinef("Write error, file:%s", gpx_path);
    return GPX_WRITE_ERROR;
}

static int fail_Read(const char* txt_path)
{
    if (gpx_held >= 0) sys_FileDiscard(gpx_held, gpx_temp_path);
    log_AddLinef("Read error, file:%s", txt_path);
    return GPX_READ_ERROR;
}

static int keep_Existing(const char* gpx_name)
{
    log_AddLinef("GPX: %s exists, kept", gpx_name);
    return GPX_EXISTS;
}

int gpx_WriteTrack(const char* txt_path)
{
    const char* name = strrchr(txt_path, sys_PathSeparator());
    name = name != nullptr ? name + 1 : txt_path;
    const uint32_t id_digits = name_IdDigits(name);
    if (id_digits == 0) {
        // A directory record with odd date or time bytes names its track
        // so; the track's name and date are unknown then.
        log_AddLinef("GPX: %s is not named as a track, no GPX written", name);
        return GPX_NOT_TRACK;
    }

    gpx_held = -1;
    const int stem = static_cast<int>(strlen(txt_path)) - 3;  // before "txt"
    if (!path_Fits(snprintf(gpx_path, sizeof gpx_path, "%.*sgpx", stem, txt_path))) return fail_Write();
    const char* gpx_name = gpx_path + (name - txt_path);
    if (sys_FileExists(gpx_path)) return keep_Existing(gpx_name);

    const int file = sys_FileOpenRead(txt_path);
    if (file < 0) return fail_Read(txt_path);
    if (!temp_Path(gpx_temp_path, gpx_path) || !output_Create(gpx_temp_path)) {
        sys_FileClose(file);
        return fail_Write();
    }
    track_Start(name, id_digits);
    const int read = read_Sentences(file);
    sys_FileClose(file);
    point_Write();
    output_Put(TRACK_END, sizeof TRACK_END - 1);
    gpx_held = output_Finish();

    if (read < 0) return fail_Read(txt_path);
    if (gpx_held < 0) return fail_Write();
    if (track.points == 0) {
        sys_FileDiscard(gpx_held, gpx_temp_path);
        log_AddLinef("GPX: %s has no usable fix, no GPX written", name);
        return GPX_NO_FIX;
    }
    // A GPX that appeared meanwhile is kept, as one found at the start.
    const int committed = sys_FileCommit(gpx_held, gpx_temp_path, gpx_path, true);
    gpx_held = -1;
    if (committed == FILE_NAME_TAKEN) return keep_Existing(gpx_name);
    if (committed != FILE_COMMITTED) return fail_Write();
    log_AddLinef("GPX: %s (%u point%s)", gpx_name, track.points, track.points == 1 ? "" : "s");
    return GPX_WRITTEN;
}
