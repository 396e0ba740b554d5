// The logger's commands against the simulated logger: the exact request
// bytes on the line, the results for a logger that answers, answers late or
// never, the identity line, and the line-speed switch with its fall-backs.
#include "tests/link/link_fixture.h"

namespace {

class Commands : public LinkTest {
protected:
    // A fresh line and logger, arranged by the caller, then the open adapter.
    void open_adapter()
    {
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        mark_written();
        mark_time();
    }

    // How many speed requests (command 0x06 frames) were written since the mark.
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

struct CommandRow {
    const char* what;
    int (*command)();
    Bytes request;  // as it must appear on the line, CRC included
    int failure;
    uint32_t attempts;  // requests sent when nothing answers
};

const CommandRow kCommands[] = {
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

TEST_F(Commands, AnsweredRequestIsWrittenOnceByteForByte)
{
    for (const CommandRow& row : kCommands) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_adapter();
        EXPECT_EQ(row.command(), CMD_OK);
        EXPECT_EQ(written(), row.request);
        usb_Close();
    }
}

TEST_F(Commands, UnansweredRequestIsRepeatedThenFailsQuietly)
{
    for (const CommandRow& row : kCommands) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        log_Clear();
        sim_settings.faults.silent = true;
        open_adapter();
        EXPECT_EQ(row.command(), row.failure);
        Bytes expected;
        for (uint32_t i = 0; i < row.attempts; ++i) expected = expected + row.request;
        EXPECT_EQ(written(), expected);
        EXPECT_EQ(log_lines_used(), 0);
        // One attempt: echo, then the idle rule (and for the retried ones the
        // pause); the probe is cut short by its 30 ms total.
        EXPECT_LE(elapsed_ms(), row.attempts == 1 ? 31u : 5 * (3 + 26 + RETRY_PAUSE_MS));
        usb_Close();
    }
}

TEST_F(Commands, LateAnswerCountsOnlyWithinTheIdleGapInUse)
{
    // 12 ms is too slow for the probe's 5 ms gap, in time for the 20 ms of
    // the retried commands.
    struct Row {
        uint32_t late_ms;
        int probe, identity;
    };
    const Row rows[] = {{0, CMD_OK, CMD_OK}, {12, CMD_NOT_YET, CMD_OK}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.late_ms);
        sim_Reset();
        sim_settings.faults.late_answer_ms = row.late_ms;
        open_adapter();
        EXPECT_EQ(GPS_Probe(), row.probe);
        EXPECT_EQ(GPS_SndData02(), row.identity);
        usb_Close();
    }
}

TEST_F(Commands, IdentityIsReadAtFixedOffsetsUnlessTheReplyHas36Bytes)
{
    struct Row {
        const char* what;
        uint32_t count;
        Bytes fields;  // offsets 27 to 34
        const char* expected;
    };
    const Row rows[] = {
        {"two-digit version", 37, {0x0A, 0x02, 0, 3, 0, 0, 0xB1, 0x04}, "ZORP detected, ID 3:1201 (FW ver. 02.0A)"},
        {"single digits keep their zero", 35, {0x05, 0x01, 0, 0xFF, 0xFF, 0, 0, 0},
         "ZORP detected, ID 65535:0 (FW ver. 01.05)"},
        {"36 bytes carry no identity", 36, {0x0A, 0x02, 0, 3, 0, 0, 0xB1, 0x04}, "ZORP detected"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        log_Clear();
        memcpy(rx_frame + 27, row.fields.data(), row.fields.size());
        rx_count = row.count;
        GPS_ShowIdentity();
        EXPECT_EQ(log_lines_used(), 1);
        EXPECT_STREQ(status_log[0], row.expected);
    }

    // And from the logger's own reply.
    log_Clear();
    open_adapter();
    ASSERT_EQ(GPS_SndData02(), CMD_OK);
    GPS_ShowIdentity();
    EXPECT_STREQ(status_log[0], "ZORP detected, ID 3:1201 (FW ver. 02.0A)");
}

TEST_F(Commands, SpeedDivisorIsTheRoundedBitTimeInEighthsOfAMicrosecond)
{
    struct Row {
        uint32_t baud;
        uint16_t divisor;
    };
    const Row rows[] = {
        {250000, 32}, {38400, 208}, {9600, 833}, {115200, 69},
        {128000, 63},  // 62.5 exactly: halves round up
        {16, 0xA120},  // 500000: only the low 16 bits are sent
        {0, 0},        // no bit time at all
    };
    for (const Row& row : rows) EXPECT_EQ(GPS_SpeedDivisor(row.baud), row.divisor) << row.baud;
}

TEST_F(Commands, SetLineSpeedTellsTheLoggerThenSwitchesTheAdapterEvenUnconfirmed)
{
    open_adapter();
    EXPECT_EQ(GPS_SetLineSpeed(BAUD_FAST), CMD_OK);
    EXPECT_EQ(sim_LoggerBaud(), BAUD_FAST);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
    EXPECT_EQ(GPS_SetLineSpeed(BAUD_BASE), CMD_OK);
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_EQ(GPS_Probe(), CMD_OK);

    sim_settings.faults.silent = true;
    mark_written();
    EXPECT_EQ(GPS_SetLineSpeed(BAUD_FAST), CMD_FAILED_06);
    EXPECT_EQ(speed_requests_written(), RETRY_ATTEMPTS);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
}

TEST_F(Commands, LineSpeedUpFallsBackUntilBothEndsAreFast)
{
    struct Row {
        const char* what;
        uint32_t logger_baud;
        uint32_t swallowed;
        bool silent;
        int expected;
        uint32_t requests;  // speed requests on the line
    };
    const Row rows[] = {
        {"both at base speed: the quick try", BAUD_BASE, 0, false, CMD_OK, 1},
        {"logger already fast: the try sent at 250000", BAUD_FAST, 0, false, CMD_OK, 1 + 5 + 1},
        {"quick answer lost while switching", BAUD_BASE, 1, false, CMD_OK, 1 + 5 + 1},
        {"two answers lost", BAUD_BASE, 2, false, CMD_OK, 1 + 5 + 2},
        {"silent logger: every step", BAUD_BASE, 0, true, CMD_FAILED_LINE_SPEED, 1 + 5 * 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
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
        usb_Close();
    }
}

TEST_F(Commands, WithoutAnAdapterEveryCommandFailsAndNothingChanges)
{
    for (const CommandRow& row : kCommands) EXPECT_EQ(row.command(), row.failure) << row.what;
    EXPECT_EQ(GPS_SetLineSpeed(BAUD_FAST), CMD_FAILED_06);
    EXPECT_EQ(GPS_LineSpeedUp(), CMD_FAILED_LINE_SPEED);
    EXPECT_EQ(sim_stats.write_calls + sim_stats.get_status_calls, 0u) << "no driver call without a handle";
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
    EXPECT_EQ(log_lines_used(), 0);
}

TEST_F(Commands, PulledAdapterFailsTheCommandsWithoutHanging)
{
    open_adapter();
    ASSERT_EQ(GPS_Probe(), CMD_OK);
    sim_PullAdapter();
    mark_time();
    EXPECT_EQ(GPS_SndData02(), CMD_FAILED_02);
    EXPECT_EQ(GPS_LineSpeedUp(), CMD_FAILED_LINE_SPEED);
    EXPECT_LT(elapsed_ms(), 50'000u);
    EXPECT_STREQ(status_log[0], "\r\n FT_SetBaudRate Failed") << "refused baud changes are reported";
}

}  // namespace
