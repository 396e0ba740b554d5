// The wire_ calls pass each D2XX call through and, while a trace runs, note
// it as one line in a fixed buffer; the file gets the buffer between ticks.
#include "link/wire_record.h"

#include <cstdio>
#include <cstring>

#include "seams/base_services.h"
#include "version.h"

namespace {

// Holds far more than one tick's worth of lines at the fast line speed, so
// that the file is written between ticks and hardly ever inside one.
constexpr uint32_t BUFFER_SIZE = 1u << 20;
// Room kept below the size limit for the note that the limit was reached.
constexpr uint32_t CLOSING_NOTE_ROOM = 100;
// A line's time stamp, letter, failure and repeat count, without its values.
constexpr uint32_t LINE_FRAME_ROOM = 128;
// Bytes beyond this in one read or write are not written out: a line must
// always fit the buffer. The core's calls stay far below it.
constexpr uint32_t BYTES_PER_LINE_MAX = (BUFFER_SIZE - LINE_FRAME_ROOM) / 4;
constexpr uint32_t PATH_SIZE = 260;

char buffer[BUFFER_SIZE];
uint32_t buffered;
uint64_t file_bytes;  // already in the file
uint32_t size_limit;
int file = -1;
bool recording;
WirerecCut cut_unreported;
// The closing note of a trace whose file would have made the program wait,
// still to be written: it goes as soon as the file takes it whole (a pipe
// takes so short a write whole or not at all), so that a reader that wakes
// up finds where the trace ends. Cut where the writing stopped, perhaps
// inside a line, so the note starts a line of its own.
bool cut_note_pending;
constexpr char CUT_NOTE[] = "\n# not read fast enough: nothing more recorded\n";
uint64_t start_us;
char trace_path[PATH_SIZE];

// Polls that found the same empty or failing answer, not yet written.
struct StatusRun {
    bool open;
    uint64_t first_us;
    FT_STATUS status;
    uint32_t polls;
} status_run;

void file_Close()
{
    if (file >= 0 && sys_FileClose(file) != 0 && cut_unreported == WIREREC_RUNNING)
        cut_unreported = WIREREC_CUT_WRITE_FAILED;
    file = -1;
    cut_note_pending = false;
}

void file_Write()
{
    if (file < 0 || buffered == 0) return;
    const int written = sys_FileWrite(file, buffer, buffered);
    if (written == FILE_WRITTEN) file_bytes += buffered;
    buffered = 0;
    if (written == FILE_WRITTEN) return;
    recording = false;
    if (written == FILE_WOULD_BLOCK) {
        cut_unreported = WIREREC_CUT_NOT_READ;
        cut_note_pending = true;
        return;
    }
    cut_unreported = WIREREC_CUT_WRITE_FAILED;
    file_Close();
}

// One try, never waiting, at the closing note of a cut trace; the file is
// closed once the note is out or cannot be written at all.
void cut_Note()
{
    if (!cut_note_pending) return;
    if (sys_FileWrite(file, CUT_NOTE, sizeof CUT_NOTE - 1) != FILE_WOULD_BLOCK) file_Close();
}

// The line being built starts at buffer + buffered and ends at line_end.
char* line_end;

void put_Text(const char* text, uint32_t length)
{
    std::memcpy(line_end, text, length);
    line_end += length;
}

// Every use writes a few numbers, which LINE_FRAME_ROOM has room for; a text
// cut short would still never run past the buffer.
void put_Format(const char* format, auto... values)
{
    const auto room = static_cast<size_t>(buffer + BUFFER_SIZE - line_end);
    const int length = std::snprintf(line_end, room, format, values...);
    if (length > 0) line_end += static_cast<size_t>(length) < room ? static_cast<size_t>(length) : room - 1;
}

void put_Hex(const uint8_t* bytes, uint32_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    if (count > BYTES_PER_LINE_MAX) count = BYTES_PER_LINE_MAX;
    for (uint32_t i = 0; i < count; ++i) {
        *line_end++ = ' ';
        *line_end++ = digits[bytes[i] >> 4];
        *line_end++ = digits[bytes[i] & 0x0F];
    }
}

void status_Emit();

// Starts a line that needs at most room bytes for its values; false when
// nothing is being recorded. Any status run waiting is written first.
bool line_Begin(uint64_t time_us, char event, FT_STATUS status, uint32_t room)
{
    if (!recording) return false;
    if (status_run.open) status_Emit();
    if (BUFFER_SIZE - buffered < room + LINE_FRAME_ROOM) file_Write();
    if (!recording) return false;
    line_end = buffer + buffered;
    const uint64_t us = time_us - start_us;
    put_Format("%4llu.%06llu %c", static_cast<unsigned long long>(us / 1000000),
               static_cast<unsigned long long>(us % 1000000), event);
    if (status != FT_OK) put_Format(" fail %u", static_cast<unsigned>(status));
    return true;
}

bool line_Begin(char event, FT_STATUS status, uint32_t room)
{
    return line_Begin(sys_Microseconds(), event, status, room);
}

// Takes the line into the buffer, unless it would carry the file past its
// size limit: then a closing note takes its place and recording stops.
void line_End()
{
    *line_end++ = '\n';
    const auto length = static_cast<uint32_t>(line_end - (buffer + buffered));
    if (file_bytes + buffered + length + CLOSING_NOTE_ROOM > size_limit) {
        line_end = buffer + buffered;
        put_Format("# size limit of %u bytes reached", size_limit);
        put_Text(": nothing more recorded\n", 24);
        buffered = static_cast<uint32_t>(line_end - buffer);
        recording = false;
        return;
    }
    buffered += length;
}

void status_Emit()
{
    const StatusRun run = status_run;
    status_run.open = false;
    if (!line_Begin(run.first_us, 'S', run.status, 0)) return;
    if (run.status == FT_OK) put_Text(" 0", 2);
    if (run.polls > 1) put_Format(" x%u", run.polls);
    line_End();
}

void record_Status(FT_STATUS status, uint32_t rx_waiting)
{
    if (!recording) return;
    const uint64_t now = sys_Microseconds();
    if (status == FT_OK && rx_waiting != 0) {
        if (!line_Begin(now, 'S', status, 0)) return;
        put_Format(" %u", rx_waiting);
        line_End();
        return;
    }
    if (status_run.open && status_run.status == status) {
        ++status_run.polls;
        return;
    }
    if (status_run.open) status_Emit();
    status_run = {true, now, status, 1};
}

void record_Bytes(char event, FT_STATUS status, const uint8_t* bytes, uint32_t count)
{
    const uint32_t shown = count < BYTES_PER_LINE_MAX ? count : BYTES_PER_LINE_MAX;
    if (!line_Begin(event, status, shown * 3)) return;
    put_Hex(bytes, shown);
    line_End();
}

// A call whose line carries no values (a close, a failed list call).
void record_Call(char event, FT_STATUS status)
{
    if (!line_Begin(event, status, 0)) return;
    line_End();
}

void record_Numbers(char event, FT_STATUS status, const char* format, auto... values)
{
    if (!line_Begin(event, status, LINE_FRAME_ROOM)) return;
    put_Format(format, values...);
    line_End();
}

void record_Text(char event, FT_STATUS status, const char* prefix, const char* text, uint32_t max_length)
{
    const auto length = static_cast<uint32_t>(strnlen(text, max_length));
    if (!line_Begin(event, status, length + LINE_FRAME_ROOM)) return;
    put_Text(prefix, static_cast<uint32_t>(std::strlen(prefix)));
    put_Text(text, length);
    line_End();
}

}  // namespace

// ---------------------------------------------------------- driver calls --

FT_STATUS wire_CreateDeviceInfoList(uint32_t* device_count)
{
    const FT_STATUS status = FT_CreateDeviceInfoList(device_count);
    if (status == FT_OK)
        record_Numbers('N', status, " %u", *device_count);
    else
        record_Call('N', status);
    return status;
}

FT_STATUS wire_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* listed)
{
    const uint32_t room = *listed;
    const FT_STATUS status = FT_GetDeviceInfoList(list, listed);
    if (status != FT_OK) {
        record_Call('I', status);
        return status;
    }
    for (uint32_t i = 0; i < *listed && i < room; ++i) {
        char usb_id[16];
        std::snprintf(usb_id, sizeof usb_id, " %04X:%04X ", unsigned(list[i].ID >> 16), unsigned(list[i].ID & 0xFFFF));
        record_Text('I', status, usb_id, list[i].Description, sizeof list[i].Description);
    }
    return status;
}

FT_STATUS wire_OpenByDescription(const char* description, FT_HANDLE* handle)
{
    // D2XX takes the description through a non-const pointer but only reads it.
    const FT_STATUS status = FT_OpenEx(const_cast<char*>(description), FT_OPEN_BY_DESCRIPTION, handle);
    record_Text('O', status, " ", description, PATH_SIZE);
    return status;
}

FT_STATUS wire_SetFlowControl(FT_HANDLE handle, uint16_t mode, uint8_t xon, uint8_t xoff)
{
    const FT_STATUS status = FT_SetFlowControl(handle, mode, xon, xoff);
    record_Numbers('F', status, " %u %u %u", unsigned(mode), unsigned(xon), unsigned(xoff));
    return status;
}

FT_STATUS wire_SetDataCharacteristics(FT_HANDLE handle, uint8_t bits, uint8_t stop_bits, uint8_t parity)
{
    const FT_STATUS status = FT_SetDataCharacteristics(handle, bits, stop_bits, parity);
    record_Numbers('D', status, " %u %u %u", unsigned(bits), unsigned(stop_bits), unsigned(parity));
    return status;
}

FT_STATUS wire_SetBaudRate(FT_HANDLE handle, uint32_t baud)
{
    const FT_STATUS status = FT_SetBaudRate(handle, baud);
    record_Numbers('B', status, " %u", baud);
    return status;
}

FT_STATUS wire_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting)
{
    uint32_t tx_waiting = 0, events = 0;
    const FT_STATUS status = FT_GetStatus(handle, rx_waiting, &tx_waiting, &events);
    record_Status(status, status == FT_OK ? *rx_waiting : 0);
    return status;
}

FT_STATUS wire_Read(FT_HANDLE handle, uint8_t* buffer_out, uint32_t count, uint32_t* received)
{
    *received = 0;
    const FT_STATUS status = FT_Read(handle, buffer_out, count, received);
    // A driver that claims more than was asked for is recorded as asked.
    const uint32_t got = status != FT_OK ? 0 : *received < count ? *received : count;
    record_Bytes('R', status, buffer_out, got);
    return status;
}

FT_STATUS wire_Write(FT_HANDLE handle, const uint8_t* bytes, uint32_t count, uint32_t* written)
{
    // D2XX takes the bytes through a non-const pointer but only reads them.
    const FT_STATUS status = FT_Write(handle, const_cast<uint8_t*>(bytes), count, written);
    record_Bytes('W', status, bytes, count);
    return status;
}

FT_STATUS wire_Close(FT_HANDLE handle)
{
    const FT_STATUS status = FT_Close(handle);
    record_Call('C', status);
    return status;
}

// -------------------------------------------------------------- recorder --

int wirerec_Start(const char* path, uint32_t limit)
{
    wirerec_Stop();
    std::snprintf(trace_path, sizeof trace_path, "%s", path);
    cut_unreported = WIREREC_RUNNING;
    file = sys_FileOpenWrite(path);
    if (file < 0) return -1;
    size_limit = limit;
    file_bytes = 0;
    buffered = 0;
    status_run = {};
    recording = true;
    start_us = sys_Microseconds();
    line_end = buffer;
    put_Format("# ZorpLoad %s wire trace\n", ZORP_VERSION);
    put_Format("# size limit %u bytes\n", limit);
    buffered = static_cast<uint32_t>(line_end - buffer);
    return 0;
}

int wirerec_Flush()
{
    if (status_run.open) status_Emit();
    file_Write();
    if (cut_note_pending)
        cut_Note();
    else if (!recording)
        file_Close();
    const WirerecCut cut = cut_unreported;
    cut_unreported = WIREREC_RUNNING;
    return cut;
}

void wirerec_Stop()
{
    if (status_run.open) status_Emit();
    file_Write();
    cut_Note();
    file_Close();
    recording = false;
    buffered = 0;
    cut_unreported = WIREREC_RUNNING;
}

int wirerec_Recording()
{
    return recording ? 1 : 0;
}

const char* wirerec_Path()
{
    return trace_path;
}
