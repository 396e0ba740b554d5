// The trace player as a D2XX implementation.
//
// Invariants:
//   - Two cursors walk the trace text: the event cursor takes the calls in
//     order (line settings and writes are matched, polls and reads mark
//     bytes as arrived), and the byte cursor hands out the bytes of the
//     recorded reads in order as the program reads them.
//   - Bytes arrived = the most that any recorded poll or read taken so far
//     showed as received in all; the program is never given more.
//   - Once a mismatch is set, every call fails and nothing moves.
//   - The trace is any file: every read of it stays inside the line at
//     hand, and every number is checked against its range before use, so a
//     line not as the recorder writes it ends the replay naming the line.
#include "sim/trace_player.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "seams/d2xx.h"
#include "sim/sim.h"

namespace {

constexpr uint32_t MESSAGE_SIZE = 4096;
constexpr const char* TRACE_MARK = "# ZorpLoad ";
// The events the recorder writes (link/wire_record.h).
constexpr const char* EVENT_LETTERS = "NIOCFDBWSR";

char trace_text[PLAYER_TRACE_MAX + 1];
const char* trace_end;
uint32_t trace_lines;  // the number of the trace's last line
char message[MESSAGE_SIZE];
char adapter_token;  // its address is the handle
bool adapter_open;

struct Cursor {
    const char* pos;  // start of the next line
    uint32_t line;    // number of the next line, from 1
};

// One event line: "<s.us> <letter> [fail <status>] <values>".
struct Event {
    uint32_t line;
    int64_t time_us;     // below 2^32 seconds
    char letter;
    FT_STATUS status;
    uint32_t count;      // N and S: the count the event shows
    const char* values;  // after the letter and any failure, up to the line's end
    uint32_t values_length;
    const char* text;    // from the letter to the line's end, for messages
    uint32_t text_length;
};

Cursor event_cursor, byte_cursor;
const char* bytes_left;  // the unread values of the byte cursor's read line
const char* bytes_end;

uint64_t start_us;
int64_t shift_us;        // replay time minus recorded time at the last matched call
uint64_t recorded_read;  // bytes of the reads taken by the event cursor
uint64_t arrived;        // bytes waiting or read, by the recorded polls and reads taken
uint64_t program_read;   // bytes handed to the program
FT_STATUS status_failure, read_failure;

const char* skip_Blanks(const char* p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    return p;
}

// The decimal number at *p, no more than 32 bits; false, with *p unmoved,
// when there is none or it is larger.
bool read_Uint32(const char** p, const char* end, uint32_t* value)
{
    const auto [after, error] = std::from_chars(*p, end, *value);
    if (error != std::errc{}) return false;
    *p = after;
    return true;
}

// A read's byte: a word of two hex digits.
bool read_Byte(const char* word, uint32_t length, uint8_t* byte)
{
    return length == 2 && std::from_chars(word, word + 2, *byte, 16).ptr == word + 2;
}

// The next whitespace-separated word of [*p, end): its start, its length in
// *length; nullptr when none is left.
const char* next_Word(const char** p, const char* end, uint32_t* length)
{
    const char* start = *p;
    while (start < end && std::isspace(static_cast<unsigned char>(*start))) ++start;
    const char* stop = start;
    while (stop < end && !std::isspace(static_cast<unsigned char>(*stop))) ++stop;
    *p = stop;
    *length = static_cast<uint32_t>(stop - start);
    return stop == start ? nullptr : start;
}

// Ends the replay with "trace line N: ..." unless it has ended already;
// false, for the caller to return.
bool line_Fault(uint32_t line, const char* what, const char* text = "", int length = 0)
{
    if (message[0] == '\0') std::snprintf(message, sizeof message, "trace line %u: %s%.*s", line, what, length, text);
    return false;
}

// The values of an event that the player reads rather than compares: the
// count of a device list or a poll, the bytes of a read. False, and the
// replay ended, when they are not as the recorder writes them.
bool values_Read(Event& event)
{
    if (event.status != FT_OK) return true;
    const char* p = event.values;
    const char* end = p + event.values_length;
    if (event.letter == 'N' || event.letter == 'S') {
        p = skip_Blanks(p, end);
        if (!read_Uint32(&p, end, &event.count) || (p < end && *p != ' ' && *p != '\t' && *p != '\r'))
            return line_Fault(event.line, "no count up to 4294967295 after the event letter");
    }
    if (event.letter == 'R') {
        uint32_t length = 0;
        uint8_t byte = 0;
        for (const char* word; (word = next_Word(&p, end, &length)) != nullptr;)
            if (!read_Byte(word, length, &byte))
                return line_Fault(event.line, "not a byte of two hex digits: ", word,
                                  static_cast<int>(length < 16 ? length : 16));
    }
    return true;
}

// Reads the next event line from a cursor; false at the end of the trace,
// or when a line is not an event line as the recorder writes it (the replay
// then ends, naming the line). Every read stays inside the line.
bool next_Event(Cursor& cursor, Event& event)
{
    while (cursor.pos < trace_end) {
        const char* line = cursor.pos;
        const auto* newline = static_cast<const char*>(std::memchr(line, '\n', size_t(trace_end - line)));
        const char* end = newline != nullptr ? newline : trace_end;
        cursor.pos = newline != nullptr ? end + 1 : end;
        event = {};
        event.line = cursor.line++;
        const char* p = skip_Blanks(line, end);
        if (p == end || *p == '#') continue;

        // "<seconds>.<six digits of microseconds>"
        uint32_t seconds = 0, micros = 0;
        const char* fraction = p;
        while (fraction < end && *fraction >= '0' && *fraction <= '9') ++fraction;
        if (fraction == p || fraction == end || *fraction != '.') return line_Fault(event.line, "not an event line");
        if (!read_Uint32(&p, fraction, &seconds))
            return line_Fault(event.line, "a time stamp past 4294967295 seconds");
        const char* after = ++p;
        if (!read_Uint32(&after, end, &micros) || after - p != 6)
            return line_Fault(event.line, "a time stamp without six digits of microseconds");
        p = skip_Blanks(after, end);
        if (p == end || *p == '\0' || std::strchr(EVENT_LETTERS, *p) == nullptr)
            return line_Fault(event.line, "not an event line");
        event.time_us = int64_t{seconds} * 1000000 + micros;
        event.text = p;
        const char* text_end = end;
        while (text_end > p && std::isspace(static_cast<unsigned char>(text_end[-1]))) --text_end;
        event.text_length = static_cast<uint32_t>(text_end - p);
        event.letter = *p++;
        event.status = FT_OK;
        p = skip_Blanks(p, end);
        if (end - p >= 4 && std::strncmp(p, "fail", 4) == 0) {
            p = skip_Blanks(p + 4, end);
            if (!read_Uint32(&p, end, &event.status) || event.status == FT_OK)
                return line_Fault(event.line, "no failure status from 1 to 4294967295 after \"fail\"");
        }
        event.values = p;
        event.values_length = static_cast<uint32_t>(end - p);
        return values_Read(event);
    }
    return false;
}

bool is_Match(char letter)
{
    return std::strchr("NOFDBWC", letter) != nullptr;
}

uint32_t hex_Count(const Event& event)
{
    uint32_t count = 0, length = 0;
    const char* p = event.values;
    while (next_Word(&p, event.values + event.values_length, &length) != nullptr) ++count;
    return count;
}

// Takes a poll or a read of the trace: what it shows as received.
void take_Arrival(const Event& event)
{
    if (event.letter == 'S') {
        status_failure = event.status;
        if (event.status == FT_OK && recorded_read + event.count > arrived) arrived = recorded_read + event.count;
    } else if (event.letter == 'R') {
        read_failure = event.status;
        if (event.status == FT_OK) recorded_read += hex_Count(event);
        if (recorded_read > arrived) arrived = recorded_read;
    }
}

int64_t replay_Now()
{
    return static_cast<int64_t>(sim_NowUs() - start_us);
}

// Takes every poll and read of the trace before its next matched call; with
// due_only, only those whose time has come. True when a matched call is next.
bool take_Arrivals(bool due_only, Event* next_call)
{
    Event event{};
    for (;;) {
        Cursor ahead = event_cursor;
        if (!next_Event(ahead, event)) return false;
        if (is_Match(event.letter)) {
            *next_call = event;
            return true;
        }
        if (due_only && event.time_us + shift_us > replay_Now()) return false;
        take_Arrival(event);
        event_cursor = ahead;
    }
}

void take_Due()
{
    Event unused{};
    take_Arrivals(true, &unused);
}

// Whole words compared, letters in either case.
bool same_Values(const char* a, const char* a_end, const char* b, const char* b_end)
{
    for (;;) {
        uint32_t a_length = 0, b_length = 0;
        const char* a_word = next_Word(&a, a_end, &a_length);
        const char* b_word = next_Word(&b, b_end, &b_length);
        if (a_word == nullptr || b_word == nullptr) return a_word == b_word;
        if (a_length != b_length || strncasecmp(a_word, b_word, a_length) != 0) return false;
    }
}

// Matches the program's call (its letter and values as the recorder writes
// them; values nullptr: a call whose recorded values are its results) with
// the trace's next matched call. On success the call is taken and
// *recorded holds it; otherwise the replay ends with a mismatch.
bool match_Call(char letter, const char* values, Event* recorded)
{
    if (message[0] != '\0') return false;
    Event next{};
    if (!take_Arrivals(false, &next)) {
        if (message[0] == '\0')
            std::snprintf(message, sizeof message, "trace line %u: the trace ends, the program called \"%c%s\"",
                          trace_lines, letter, values != nullptr ? values : "");
        return false;
    }
    if (next.letter != letter ||
        (values != nullptr &&
         !same_Values(next.values, next.values + next.values_length, values, values + std::strlen(values)))) {
        if (values == nullptr) values = "";
        std::snprintf(message, sizeof message, "trace line %u: the trace has \"%.*s\", the program called \"%c%s\"",
                      next.line, static_cast<int>(next.text_length), next.text, letter, values);
        return false;
    }
    next_Event(event_cursor, next);
    shift_us = replay_Now() - next.time_us;
    *recorded = next;
    return true;
}

bool handle_Good(FT_HANDLE handle)
{
    return handle == &adapter_token && adapter_open;
}

// A matched call on the open adapter: its recorded status, or the failure
// that ends the replay.
FT_STATUS adapter_Call(FT_HANDLE handle, char letter, const char* values)
{
    if (!handle_Good(handle)) return FT_INVALID_HANDLE;
    Event recorded{};
    return match_Call(letter, values, &recorded) ? recorded.status : FT_IO_ERROR;
}

// The next byte of the recorded reads; false when they are used up.
bool next_Byte(uint8_t* byte)
{
    uint32_t length = 0;
    const char* word = nullptr;
    while ((word = next_Word(&bytes_left, bytes_end, &length)) == nullptr) {
        Event event{};
        do {
            if (!next_Event(byte_cursor, event)) return false;
        } while (event.letter != 'R' || event.status != FT_OK);
        bytes_left = event.values;
        bytes_end = event.values + event.values_length;
    }
    return read_Byte(word, length, byte);
}

}  // namespace

int player_Start(const char* path)
{
    message[0] = '\0';
    adapter_open = false;
    trace_text[0] = '\0';
    FILE* file = std::fopen(path, "rb");
    size_t length = 0;
    bool longer = false;
    if (file != nullptr) {
        length = std::fread(trace_text, 1, PLAYER_TRACE_MAX, file);
        longer = length == PLAYER_TRACE_MAX && std::fgetc(file) != EOF;
        std::fclose(file);
    }
    trace_text[length] = '\0';
    trace_end = trace_text + length;
    trace_lines = static_cast<uint32_t>(std::count(static_cast<const char*>(trace_text), trace_end, '\n')) +
                  (length > 0 && trace_end[-1] != '\n' ? 1 : 0);
    if (file == nullptr || std::strncmp(trace_text, TRACE_MARK, std::strlen(TRACE_MARK)) != 0) {
        std::snprintf(message, sizeof message, "%s: not a readable wire trace", path);
        return -1;
    }
    if (longer) {
        std::snprintf(message, sizeof message, "%s: longer than the %u MiB a wire trace can be", path,
                      PLAYER_TRACE_MAX >> 20);
        return -1;
    }
    event_cursor = byte_cursor = {trace_text, 1};
    bytes_left = bytes_end = nullptr;
    start_us = sim_NowUs();
    shift_us = 0;
    recorded_read = arrived = program_read = 0;
    status_failure = read_failure = FT_OK;
    return 0;
}

void player_Finish()
{
    Event next{};
    if (message[0] == '\0' && take_Arrivals(false, &next))
        std::snprintf(message, sizeof message, "trace line %u: the trace has \"%.*s\", the program made no more calls",
                      next.line, static_cast<int>(next.text_length), next.text);
}

const char* player_Mismatch()
{
    return message;
}

// ----------------------------------------------------------- D2XX calls --

FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    Event recorded{};
    if (!match_Call('N', nullptr, &recorded)) return FT_OTHER_ERROR;
    *lpdwNumDevs = recorded.count;
    return recorded.status;
}

// The list itself is never matched: the trace notes it, the program does not
// read it.
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    if (message[0] != '\0') return FT_OTHER_ERROR;
    std::memset(pDest, 0, sizeof *pDest * *lpdwNumDevs);
    return FT_OK;
}

FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    *pHandle = nullptr;
    char values[128];
    std::snprintf(values, sizeof values, " %s%s", static_cast<const char*>(pArg1),
                  Flags == FT_OPEN_BY_DESCRIPTION ? "" : " (not by description)");
    Event recorded{};
    if (!match_Call('O', values, &recorded)) return FT_DEVICE_NOT_FOUND;
    if (recorded.status != FT_OK) return recorded.status;
    adapter_open = true;
    *pHandle = &adapter_token;
    return FT_OK;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t uXon, uint8_t uXoff)
{
    char values[64];
    std::snprintf(values, sizeof values, " %u %u %u", unsigned(usFlowControl), unsigned(uXon), unsigned(uXoff));
    return adapter_Call(ftHandle, 'F', values);
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits, uint8_t uParity)
{
    char values[64];
    std::snprintf(values, sizeof values, " %u %u %u", unsigned(uWordLength), unsigned(uStopBits), unsigned(uParity));
    return adapter_Call(ftHandle, 'D', values);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    char values[32];
    std::snprintf(values, sizeof values, " %u", dwBaudRate);
    return adapter_Call(ftHandle, 'B', values);
}

FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                       uint32_t* lpdwEventStatus)
{
    if (!handle_Good(ftHandle)) return FT_INVALID_HANDLE;
    if (message[0] != '\0') return FT_IO_ERROR;
    take_Due();
    if (status_failure != FT_OK) return status_failure;
    *lpdwAmountInRxQueue = arrived > program_read ? static_cast<uint32_t>(arrived - program_read) : 0;
    *lpdwAmountInTxQueue = 0;
    *lpdwEventStatus = 0;
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned)
{
    *lpdwBytesReturned = 0;
    if (!handle_Good(ftHandle)) return FT_INVALID_HANDLE;
    if (message[0] != '\0') return FT_IO_ERROR;
    take_Due();
    if (read_failure != FT_OK) return read_failure;
    auto* out = static_cast<uint8_t*>(lpBuffer);
    uint32_t given = 0;
    while (given < dwBytesToRead && program_read < arrived && next_Byte(out + given)) ++given, ++program_read;
    *lpdwBytesReturned = given;
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite, uint32_t* lpdwBytesWritten)
{
    *lpdwBytesWritten = 0;
    // Three characters a byte, as the recorder writes them; a write longer
    // than a frame buffer is never made by the program.
    char values[3 * 1024 + 1];
    uint32_t shown = dwBytesToWrite < 1024 ? dwBytesToWrite : 1024;
    const auto* bytes = static_cast<const uint8_t*>(lpBuffer);
    for (uint32_t i = 0; i < shown; ++i) std::snprintf(values + 3 * i, 4, " %02X", unsigned(bytes[i]));
    values[3 * shown] = '\0';
    const FT_STATUS status = adapter_Call(ftHandle, 'W', values);
    if (status == FT_OK) *lpdwBytesWritten = dwBytesToWrite;
    return status;
}

FT_STATUS FT_Close(FT_HANDLE ftHandle)
{
    const FT_STATUS status = adapter_Call(ftHandle, 'C', "");
    if (handle_Good(ftHandle)) adapter_open = false;
    return status;
}

// A trace records statuses, not why a call failed.
AdapterCause d2xx_LastCause(const char** detail)
{
    *detail = nullptr;
    return CAUSE_NONE;
}
