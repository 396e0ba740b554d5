// Track directory: the summary and the full listing of the logger's tracks,
// kept as the reply frames the logger sent.

#include <cstring>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"

uint8_t head_table[HEADS_MAX][HEAD_RECORD_SIZE];
int32_t head_count;
int32_t first_track_id;

constexpr uint8_t CMD_DIRECTORY = 0x12;
constexpr uint8_t DIRECTORY_REQUEST_LENGTH = 14;
constexpr uint32_t STREAM_IDLE_MS = 500;
constexpr uint32_t HEAD_RECORD_MIN = 12;

// Both the stored records and the listing need a well-formed reply start.
static bool reply_Plausible()
{
    return rx_count >= HEAD_RECORD_MIN && rx_frame[0] == FRAME_START_REPLY && rx_frame[1] == FRAME_FIXED_BYTE;
}

uint32_t read_Uint(const uint8_t* bytes, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

static void take_Reply(int flag)
{
    if (add_Head() == 0 && flag != 0) show_Head();
}

int GPS_GetHeads(int flag)
{
    head_count = 0;

    GPS_BeginRequest(DIRECTORY_REQUEST_LENGTH, CMD_DIRECTORY);
    for (int i = 0; i < 4; ++i) tx_Append(0xFF);
    tx_Append((uint8_t)(flag & 0xFF));
    tx_Append((uint8_t)((flag >> 8) & 0xFF));
    tx_Append(0x00);
    tx_Append(0x00);
    GPS_AppendCrc();
    if (GPS_TransactRetry(STREAM_IDLE_MS) != EXCHANGE_OK) return CMD_FAILED_HEADS;
    take_Reply(flag);

    // The rest of the stream arrives unasked; a receive pass that gets no
    // byte at all means the logger has finished.
    for (int pass = 0; pass < HEADS_STREAM_PASSES; ++pass) {
        tx_len = 0;
        int result = GPS_Transact(STREAM_IDLE_MS, EXCHANGE_TOTAL_MS);
        if (rx_count == 0) break;
        if (result == EXCHANGE_OK) take_Reply(flag);
    }
    return CMD_OK;
}

int add_Head()
{
    if (head_count >= HEADS_MAX || rx_count > HEAD_RECORD_SIZE || !reply_Plausible()) return 1;
    memcpy(head_table[head_count], rx_frame, rx_count);
    ++head_count;
    return 0;
}

void show_Head()
{
    if (!reply_Plausible()) return;
    // Replies carrying the item command hold a 16-bit count only.
    uint32_t count = read_Uint(rx_frame + 8, rx_frame[3] == 0x13 ? 2 : 4);
    if (count == 0) return;
    log_AddLinef("Track %3d: %02u/%02u/%04u (%d items)", (int)read_Uint(rx_frame + 15, 2), rx_frame[19], rx_frame[20],
                 rx_frame[21] + 2000u, (int)count);
}

int check_Heads()
{
    if (head_count != 1) return -1;
    const uint8_t* summary = head_table[0];
    first_track_id = (int32_t)read_Uint(summary + 15, 2);
    if (read_Uint(summary + 8, 3) == 0) return 1;
    return summary[13] == 0xE0 || summary[13] == 0xE1 ? 0 : -2;
}
