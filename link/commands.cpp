// The logger's commands and the switching of the line speed. Every command
// builds its request whole in tx_frame, runs one exchange or a retried one,
// and maps any exchange failure to its own failure code; no command logs its
// failure, the caller reports it.
#include <cstring>

#include "link/gps_link.h"
#include "shell/status_log.h"

// Command codes. The replies to 0x01, 0x03 and 0x06 are only validated as
// frames; nothing in them is read.
constexpr uint8_t COMMAND_01 = 0x01;  // with 0xFF a probe, with 0x03 a set-up step
constexpr uint8_t COMMAND_IDENTITY = 0x02;
constexpr uint8_t COMMAND_03 = 0x03;
constexpr uint8_t COMMAND_SETTINGS = 0x06;

constexpr uint8_t COMMAND_01_PROBE = 0xFF;
constexpr uint8_t COMMAND_01_SETUP = 0x03;

constexpr uint32_t COMMAND_IDLE_GAP_MS = 20;
constexpr uint32_t PROBE_IDLE_GAP_MS = 5;
constexpr uint32_t PROBE_TOTAL_MS = 30;
constexpr uint32_t QUICK_SPEED_TOTAL_MS = 40;

// The identity reply of this length carries no ID numbers or version.
constexpr uint32_t IDENTITY_WITHOUT_ID_LENGTH = 36;
constexpr uint32_t IDENTITY_VERSION_AT = 27;
constexpr uint32_t IDENTITY_ID1_AT = 30;
constexpr uint32_t IDENTITY_ID2_AT = 33;

// Seals the request in tx_frame and sends it with retries: 0, or failure.
static int send_retried(int failure)
{
    GPS_AppendCrc();
    return GPS_TransactRetry(COMMAND_IDLE_GAP_MS) == 0 ? CMD_OK : failure;
}

int GPS_Probe()
{
    GPS_BeginRequest(7, COMMAND_01);
    tx_Append(COMMAND_01_PROBE);
    GPS_AppendCrc();
    return GPS_Transact(PROBE_IDLE_GAP_MS, PROBE_TOTAL_MS) == EXCHANGE_OK ? CMD_OK : CMD_NOT_YET;
}

int GPS_SndData01()
{
    GPS_BeginRequest(7, COMMAND_01);
    tx_Append(COMMAND_01_SETUP);
    return send_retried(CMD_FAILED_01);
}

int GPS_SndData02()
{
    GPS_BeginRequest(6, COMMAND_IDENTITY);
    return send_retried(CMD_FAILED_02);
}

int GPS_SndData03()
{
    GPS_BeginRequest(6, COMMAND_03);
    return send_retried(CMD_FAILED_03);
}

void GPS_ShowIdentity()
{
    log_AddLine("ZORP detected");
    if (rx_count == IDENTITY_WITHOUT_ID_LENGTH) return;
    // Read at fixed offsets whatever the reply's length, as the logger's
    // firmware lays them out.
    const unsigned id1 = read_Uint(rx_frame + IDENTITY_ID1_AT, 2);
    const unsigned id2 = read_Uint(rx_frame + IDENTITY_ID2_AT, 2);
    const unsigned version = read_Uint(rx_frame + IDENTITY_VERSION_AT, 2);
    log_AppendLastf(", ID %u:%u (FW ver. %02X.%02X)", id1, id2, version >> 8, version & 0xFFu);
}

// Builds a command 0x06 request, not yet sealed, in tx_frame.
static void settings_Request(uint8_t subcommand, uint16_t value)
{
    GPS_BeginRequest(9, COMMAND_SETTINGS);
    tx_Append(subcommand);
    tx_AppendU16(value);
}

int GPS_SndData06(uint8_t subcommand, uint16_t value)
{
    settings_Request(subcommand, value);
    return send_retried(CMD_FAILED_06);
}

int GPS_SndData06Once(uint16_t value)
{
    settings_Request(SUBCMD_LINE_SPEED, value);
    GPS_AppendCrc();
    return GPS_Transact(COMMAND_IDLE_GAP_MS, QUICK_SPEED_TOTAL_MS) == EXCHANGE_OK ? CMD_OK : CMD_FAILED_06;
}

uint16_t GPS_SpeedDivisor(uint32_t baud)
{
    // A zero rate has no bit time; dividing by it would be undefined.
    if (baud == 0) return 0;
    const double eighths_of_us = 1000000.0 / baud * 8 + 0.5;
    return static_cast<uint16_t>(static_cast<uint32_t>(eighths_of_us));
}

int GPS_SetLineSpeed(uint32_t baud)
{
    // The logger is told first, at the speed both have now; the adapter follows
    // even without a confirmation, since the logger may have switched anyway.
    const int told = GPS_SndData06(SUBCMD_LINE_SPEED, GPS_SpeedDivisor(baud));
    usb_SetBaudIfOpen(baud);
    return told;
}

int GPS_LineSpeedUp()
{
    // One quick try at the adapter's present speed: enough when both ends are
    // already fast, or when the logger confirms at once.
    const int quick = GPS_SndData06Once(GPS_SpeedDivisor(BAUD_FAST));
    usb_SetBaudIfOpen(BAUD_FAST);
    if (quick == CMD_OK) return CMD_OK;

    // Then rounds that start over from the base speed. Each try at 38400 leaves
    // the adapter at 250000, so the second try of a round reaches a logger that
    // switched although its answer was lost.
    constexpr int ROUNDS = 3;
    for (int round = 0; round < ROUNDS; ++round) {
        usb_SetBaudIfOpen(BAUD_BASE);
        if (GPS_SetLineSpeed(BAUD_FAST) == CMD_OK) return CMD_OK;
        const bool last_round = round == ROUNDS - 1;
        if (!last_round && GPS_SetLineSpeed(BAUD_FAST) == CMD_OK) return CMD_OK;
    }
    return CMD_FAILED_LINE_SPEED;
}

void link_Reset()
{
    memset(tx_frame, 0, sizeof tx_frame);
    tx_len = 0;
    memset(rx_frame, 0, sizeof rx_frame);
    rx_count = 0;
    usb_handle = nullptr;
    memset(rx_chunk, 0, sizeof rx_chunk);
    rx_chunk_left = 0;
    rx_chunk_pos = 0;
    adapter_gone_told = false;
}
