// Frames and CRC: the one transmit and the one receive buffer, the bounded
// append that both follow, and the CRC that seals a request and checks a
// reply.
#include "link/gps_link.h"

uint8_t tx_frame[FRAME_BUFFER_SIZE];
uint32_t tx_len;
uint8_t rx_frame[FRAME_BUFFER_SIZE];
uint32_t rx_count;

uint16_t GPS_Crc16(const uint8_t* bytes, uint32_t count)
{
    // Byte-wise form of the reflected 0x1021 polynomial: no table, so no
    // memory and no start-up work.
    uint16_t crc = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t x = static_cast<uint8_t>(bytes[i] ^ (crc & 0xFF));
        x = static_cast<uint8_t>(x ^ (x << 4));
        crc = static_cast<uint16_t>(((crc >> 8) | (x << 8)) ^ (x >> 4) ^ (x << 3));
    }
    return crc;
}

static void append_bounded(uint8_t* buffer, uint32_t* count, uint8_t byte)
{
    if (*count < FRAME_BUFFER_SIZE) buffer[(*count)++] = byte;
}

void tx_Append(uint8_t byte)
{
    append_bounded(tx_frame, &tx_len, byte);
}

void rx_Append(uint8_t byte)
{
    append_bounded(rx_frame, &rx_count, byte);
}

void tx_AppendU16(uint16_t value)
{
    tx_Append(static_cast<uint8_t>(value & 0xFF));
    tx_Append(static_cast<uint8_t>(value >> 8));
}

uint32_t read_Uint(const uint8_t* bytes, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

void GPS_BeginRequest(uint8_t length, uint8_t command)
{
    tx_frame[0] = FRAME_START_REQUEST;
    tx_frame[1] = FRAME_FIXED_BYTE;
    tx_frame[2] = length;
    tx_frame[3] = command;
    tx_len = 4;
}

void GPS_AppendCrc()
{
    // tx_len may have been set by hand; never read past the buffer.
    const uint32_t covered = tx_len < FRAME_BUFFER_SIZE ? tx_len : FRAME_BUFFER_SIZE;
    const uint16_t crc = GPS_Crc16(tx_frame, covered);
    tx_AppendU16(crc);
}

int GPS_CheckFrame()
{
    if (rx_count < 5) return FRAME_TOO_SHORT;
    if (rx_frame[0] != FRAME_START_REPLY) return FRAME_BAD_START;
    if (rx_frame[2] != rx_count) return FRAME_BAD_LENGTH;
    // The CRC over a whole frame, its own two bytes included, is 0.
    if (GPS_Crc16(rx_frame, rx_count) != 0) return FRAME_BAD_CRC;
    return FRAME_VALID;
}
