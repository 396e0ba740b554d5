// The logger's commands against the simulated logger: the exact request
// frames, answered, late and unanswered requests, the identity line, and the
// line-speed switch with its fall-backs.
#include <cstring>

#include "tests/link/link_fixture.h"

namespace {

class Commands : public LinkTest {
protected:
    // Speed requests (command 0x06 frames) written since the mark.
    uint32_t speed_requests_written() const
    {
        const Bytes bytes = written();
        uint32_t count = 0;
        for (size_t i = 0; i + 3 < bytes.size(); ++i)
            count += bytes[i] == FRAME_START_REQUEST && bytes[i + 1] == FRAME_FIXED_BYTE && bytes[i + 2] == 9 &&
                     bytes[i + 3] == 0x06;
        return count;
    }
};

// The standard check values of CRC-16/KERMIT, and the property the receive
// check relies on: over a frame with its own CRC appended, the CRC is 0.
TEST(Crc16, MatchesTheCheckValuesAndVanishesOverASealedFrame)
{
    const auto crc_of = [](const char* text) { return GPS_Crc16(reinterpret_cast<const uint8_t*>(text), strlen(text)); };
    EXPECT_EQ(crc_of("123456789"), 0x2189);
    EXPECT_EQ(crc_of("abc"), 0x58E9);
    EXPECT_EQ(crc_of(""), 0);
    GPS_BeginRequest(12, 0x12);
    for (uint8_t byte : {0xFF, 0x00, 0x7E, 0x81, 0x00, 0x00}) tx_Append(byte);
    GPS_AppendCrc();
    EXPECT_EQ(GPS_Crc16(tx_frame, tx_len), 0);
}

const struct CommandRow {
    const char* what;
    int (*command)();
    Bytes request;  // as it must appear on the line, CRC included
    int failure;
    uint32_t attempts;  // requests sent when nothing answers
} kCommands[] = {
    {"probe", GPS_Probe, {0x3E, 0x01, 0x07, 0x01, 0xFF, 0x77, 0x33}, CMD_NOT_YET, 1},
    {"command 0x01", GPS_SndData01, {0x3E, 0x01, 0x07, 0x01, 0x03, 0x94, 0x0E}, CMD_FAILED_01, 5},
    {"identity", GPS_SndData02, {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF}, CMD_FAILED_02, 5},
    {"command 0x03", GPS_SndData03, {0x3E, 0x01, 0x06, 0x03, 0x27, 0xDE}, CMD_FAILED_03, 5},
    {"speed 250000 once", [] { return GPS_SndData06Once(GPS_SpeedDivisor(BAUD_FAST)); },
     {0x3E, 0x01, 0x09, 0x06, 0x01, 0x20, 0x00, 0x51, 0x37}, CMD_FAILED_06, 1},
    {"speed 250000", [] { return GPS_SndData06(SUBCMD_LINE_SPEED, GPS_SpeedDivisor(BAUD_FAST)); },
     {0x3E, 0x01, 0x09, 0x06, 0x01, 0x20, 0x00, 0x51, 0x37}, CMD_FAILED_06, 5},
    {"speed 38400", [] { return GPS_SndData06(SUBCMD_LINE_SPEED, GPS_SpeedDivisor(BAUD_BASE)); },
     {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00, 0x59, 0x4B}, CMD_FAILED_06, 5},
    {"erase", [] { return GPS_SndData06(SUBCMD_ERASE, ERASE_VALUE); },
     {0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE, 0x2F, 0xFC}, CMD_FAILED_06, 5},
};

TEST_F(Commands, RequestIsWrittenByteForByteOnceOrUntilItsAttemptsFailQuietly)
{
    for (const CommandRow& row : kCommands) {
        for (bool silent : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (silent ? ", silent logger" : ""));
            fresh_line();
            sim_settings.faults.silent = silent;
            open_adapter();
            EXPECT_EQ(row.command(), silent ? row.failure : CMD_OK);
            EXPECT_EQ(written(), repeated(row.request, silent ? row.attempts : 1));
            EXPECT_TRUE(log_Lines().empty());
            // An attempt: echo, idle rule, pause; the probe stops at its 30 ms total.
            EXPECT_LE(elapsed_ms(), !silent ? 30u : row.attempts == 1 ? 31u : 5 * (3 + 26 + RETRY_PAUSE_MS));
        }
    }
}

TEST_F(Commands, LateAnswerCountsOnlyWithinTheIdleGapInUse)
{
    // 18 ms is too late for the probe's 5 ms gap, in time for the 20 ms of the others.
    for (uint32_t late_ms : {0u, 18u}) {
        fresh_line();
        sim_settings.faults.late_answer_ms = late_ms;
        open_adapter();
        EXPECT_EQ(GPS_Probe(), late_ms == 0 ? CMD_OK : CMD_NOT_YET) << late_ms;
        EXPECT_EQ(GPS_SndData02(), CMD_OK) << late_ms;
    }
}

TEST_F(Commands, IdentityIsReadAtFixedOffsetsUnlessTheReplyHas36Bytes)
{
    const struct {
        uint32_t count;
        Bytes fields;  // offsets 27 to 34
        const char* expected;
    } rows[] = {
        {37, {0x0A, 0x02, 0, 3, 0, 0, 0xB1, 0x04}, "ZORP detected, ID 3:1201 (FW ver. 02.0A)"},
        {35, {0x05, 0x01, 0, 0xFF, 0xFF, 0, 0, 0}, "ZORP detected, ID 65535:0 (FW ver. 01.05)"},
        {36, {0x0A, 0x02, 0, 3, 0, 0, 0xB1, 0x04}, "ZORP detected"},
    };
    for (const auto& row : rows) {
        log_Clear();
        std::copy(row.fields.begin(), row.fields.end(), rx_frame + 27);
        rx_count = row.count;
        GPS_ShowIdentity();
        EXPECT_EQ(log_Lines(), Lines{row.expected}) << row.count;
    }
}

TEST_F(Commands, SpeedDivisorIsTheRoundedBitTimeInEighthsOfAMicrosecond)
{
    // 128000 gives 62.5: halves round up; 16 gives 500000: the low 16 bits.
    const uint32_t rows[][2] = {{250000, 32}, {38400, 208}, {9600, 833}, {115200, 69},
                                {128000, 63}, {16, 0xA120},  {0, 0}};
    for (const auto& row : rows) EXPECT_EQ(GPS_SpeedDivisor(row[0]), row[1]) << row[0];
}

TEST_F(Commands, LineSpeedUpFallsBackUntilBothEndsAreFast)
{
    const struct {
        const char* what;
        uint32_t logger_baud, swallowed;
        bool silent;
        int expected;
        uint32_t requests;  // speed requests on the line
    } rows[] = {
        {"both at base speed: the quick try", BAUD_BASE, 0, false, CMD_OK, 1},
        {"logger already fast: the try sent at 250000", BAUD_FAST, 0, false, CMD_OK, 1 + 5 + 1},
        {"quick answer lost while switching", BAUD_BASE, 1, false, CMD_OK, 1 + 5 + 1},
        {"two answers lost", BAUD_BASE, 2, false, CMD_OK, 1 + 5 + 2},
        {"silent logger: every step", BAUD_BASE, 0, true, CMD_FAILED_LINE_SPEED, 1 + 5 * 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fresh_line();
        sim_settings.logger.baud = row.logger_baud;
        sim_settings.faults.swallow_speed_answers = row.swallowed;
        sim_settings.faults.silent = row.silent;
        open_adapter();
        EXPECT_EQ(GPS_LineSpeedUp(), row.expected);
        EXPECT_EQ(speed_requests_written(), row.requests);
        EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
        if (row.expected == CMD_OK) {
            EXPECT_EQ(sim_LoggerBaud(), BAUD_FAST);
            EXPECT_EQ(GPS_Probe(), CMD_OK) << "the line works at the new speed";
        }
        EXPECT_LT(elapsed_ms(), 50'000u);
    }
}

TEST_F(Commands, WithoutAnAdapterEveryCommandFailsAndNothingChanges)
{
    for (const CommandRow& row : kCommands) EXPECT_EQ(row.command(), row.failure) << row.what;
    EXPECT_EQ(GPS_SetLineSpeed(BAUD_FAST), CMD_FAILED_06);
    EXPECT_EQ(GPS_LineSpeedUp(), CMD_FAILED_LINE_SPEED);
    EXPECT_EQ(sim_stats.write_calls + sim_stats.get_status_calls, 0u) << "no driver call without a handle";
    EXPECT_TRUE(log_Lines().empty());
}

}  // namespace
