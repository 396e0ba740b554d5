// NMEA sentences: the checksum test, and the reader that cuts bytes into
// sentences and a sentence into its fields.

#include "gpx/gpx.h"

NmeaField nmea_fields[NMEA_FIELDS_MAX];
uint32_t nmea_field_count;

static struct {
    char text[NMEA_SENTENCE_MAX];
    uint32_t length;
    bool overlong;
    void (*take)();
} sentence;

static int hex_Value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool nmea_Checks(const char* text, uint32_t length)
{
    if (length < 4 || text[0] != '$') return false;
    const uint32_t star = length - 3;
    const int high = hex_Value(text[star + 1]), low = hex_Value(text[star + 2]);
    if (text[star] != '*' || high < 0 || low < 0) return false;
    uint8_t sum = 0;
    for (uint32_t i = 1; i < star; ++i) sum ^= static_cast<uint8_t>(text[i]);
    return sum == high * 16 + low;
}

// Cuts the sentence "$<fields>*hh" into its fields; false when it is no
// such sentence.
static bool sentence_Split()
{
    if (sentence.overlong || !nmea_Checks(sentence.text, sentence.length)) return false;
    const uint32_t star = sentence.length - 3;
    nmea_field_count = 0;
    uint32_t start = 1;
    for (uint32_t i = 1; i <= star; ++i) {
        if (i != star && sentence.text[i] != ',') continue;
        if (nmea_field_count == NMEA_FIELDS_MAX) return false;
        nmea_fields[nmea_field_count++] = {sentence.text + start, i - start};
        start = i + 1;
    }
    return true;
}

void nmea_Finish()
{
    if (sentence.length > 0 && sentence_Split()) sentence.take();
    sentence.length = 0;
    sentence.overlong = false;
}

void nmea_Begin(void (*take)())
{
    sentence.length = 0;
    sentence.overlong = false;
    sentence.take = take;
}

void nmea_Feed(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            nmea_Finish();
            continue;
        }
        // A '$' always opens a sentence.
        if (c == '$') nmea_Finish();
        if (sentence.length < NMEA_SENTENCE_MAX) sentence.text[sentence.length++] = c;
        else sentence.overlong = true;
    }
}
