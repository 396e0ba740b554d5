// Reply streams: the request that starts a stream of directory or item
// replies, the receiving of its next reply, and the test that a reply can be
// kept as a record.
#include "download/download.h"
#include "link/gps_link.h"

constexpr uint8_t STREAM_REQUEST_LENGTH = 14;

bool stream_Request(uint8_t command, uint32_t first, uint16_t count)
{
    GPS_BeginRequest(STREAM_REQUEST_LENGTH, command);
    tx_AppendU16((uint16_t)first);
    tx_AppendU16((uint16_t)(first >> 16));
    tx_AppendU16(count);
    tx_AppendU16(0);
    GPS_AppendCrc();
    return GPS_TransactRetry(STREAM_IDLE_MS) == EXCHANGE_OK;
}

int stream_NextReply()
{
    // With nothing to send the exchange only receives.
    tx_len = 0;
    return GPS_Transact(STREAM_IDLE_MS, EXCHANGE_TOTAL_MS);
}

bool reply_Plausible()
{
    return rx_count >= RECORD_MIN && rx_frame[0] == FRAME_START_REPLY && rx_frame[1] == FRAME_FIXED_BYTE;
}
