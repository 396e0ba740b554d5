// Frames and CRC: known CRC vectors, the bounded append of both buffers, the
// sealing of requests and the checks a reply must pass.
#include <algorithm>

#include "tests/link/link_fixture.h"

namespace {

Bytes text_bytes(const char* text)
{
    return Bytes(text, text + strlen(text));
}

void set_rx(const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), rx_frame);
    rx_count = static_cast<uint32_t>(bytes.size());
}

class Frame : public ::testing::Test {
protected:
    // Only the frame buffers: these tests link no adapter, so link_Reset,
    // which also clears the adapter's state, stays out.
    void SetUp() override
    {
        tx_len = 0;
        rx_count = 0;
    }
};

TEST_F(Frame, CrcMatchesKnownVectors)
{
    struct Row {
        const char* what;
        Bytes bytes;
        uint16_t expected;
    };
    const Row rows[] = {
        {"check string", text_bytes("123456789"), 0x2189},
        {"abc", text_bytes("abc"), 0x58E9},
        {"nothing", {}, 0x0000},
        {"probe request", {0x3E, 0x01, 0x07, 0x01, 0xFF}, 0x3377},
        {"identity request", {0x3E, 0x01, 0x06, 0x02}, 0xCFAE},
        {"speed request", {0x3E, 0x01, 0x09, 0x06, 0x01, 0x20, 0x00}, 0x3751},
        {"speed 38400 request", {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00}, 0x4B59},
        {"erase request", {0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE}, 0xFC2F},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(GPS_Crc16(row.bytes.data(), static_cast<uint32_t>(row.bytes.size())), row.expected);
    }
}

TEST_F(Frame, CrcCatchesEverySingleBitError)
{
    const Bytes good = sealed({0x3C, 0x01, 0x09, 0x06, 0x01, 0x20, 0x00});
    for (size_t bit = 0; bit < good.size() * 8; ++bit) {
        Bytes bad = good;
        bad[bit / 8] = static_cast<uint8_t>(bad[bit / 8] ^ (1u << (bit % 8)));
        EXPECT_NE(GPS_Crc16(bad.data(), static_cast<uint32_t>(bad.size())), 0) << "bit " << bit;
    }
}

TEST_F(Frame, CrcOverASealedFrameIsZeroForEveryLength)
{
    Bytes bytes;
    for (uint32_t length = 0; length <= 253; ++length) {
        const Bytes whole = sealed(bytes);
        EXPECT_EQ(GPS_Crc16(whole.data(), static_cast<uint32_t>(whole.size())), 0) << "length " << length;
        bytes.push_back(static_cast<uint8_t>(length * 37 + 11));
    }
}

TEST_F(Frame, AppendsStopAtTheBufferEndAndTheCrcKeepsWhatFits)
{
    for (uint32_t i = 0; i < FRAME_BUFFER_SIZE + 3; ++i) rx_Append(static_cast<uint8_t>(i));
    EXPECT_EQ(rx_count, FRAME_BUFFER_SIZE);
    EXPECT_EQ(rx_frame[FRAME_BUFFER_SIZE - 1], static_cast<uint8_t>(FRAME_BUFFER_SIZE - 1));

    for (uint32_t i = 0; i < FRAME_BUFFER_SIZE - 1; ++i) tx_Append(static_cast<uint8_t>(i));
    const uint16_t crc = GPS_Crc16(tx_frame, FRAME_BUFFER_SIZE - 1);
    GPS_AppendCrc();
    EXPECT_EQ(tx_len, FRAME_BUFFER_SIZE);
    EXPECT_EQ(tx_frame[FRAME_BUFFER_SIZE - 1], crc & 0xFF);
    GPS_AppendCrc();
    EXPECT_EQ(tx_len, FRAME_BUFFER_SIZE);
    EXPECT_EQ(tx_frame[FRAME_BUFFER_SIZE - 1], crc & 0xFF);
}

TEST_F(Frame, CheckFrameJudgesRepliesInOrder)
{
    struct Row {
        const char* what;
        Bytes bytes;
        int expected;
    };
    Bytes bad_crc = sealed({0x3C, 0x01, 0x07, 0x01, 0x00});
    bad_crc[6] ^= 0x01;
    Bytes wrong_length = sealed({0x3C, 0x01, 0x08, 0x01, 0x00});  // CRC right, count 7
    const Row rows[] = {
        {"reply without a command byte", sealed({0x3C, 0x01, 0x05}), FRAME_VALID},
        {"reply with data", sealed({0x3C, 0x01, 0x0A, 0x02, 0x11, 0x22, 0x33, 0x44}), FRAME_VALID},
        {"nothing", {}, FRAME_TOO_SHORT},
        {"four bytes of a frame", {0x3C, 0x01, 0x04, 0x00}, FRAME_TOO_SHORT},
        {"own request", sealed({0x3E, 0x01, 0x06, 0x02}), FRAME_BAD_START},
        {"leading garbage", {0x00, 0x3C, 0x01, 0x06, 0x02, 0x00}, FRAME_BAD_START},
        {"length byte differs, CRC right", wrong_length, FRAME_BAD_LENGTH},
        {"truncated frame", {0x3C, 0x01, 0x0A, 0x02, 0x11, 0x22}, FRAME_BAD_LENGTH},
        {"wrong CRC", bad_crc, FRAME_BAD_CRC},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        set_rx(row.bytes);
        EXPECT_EQ(GPS_CheckFrame(), row.expected);
    }
}

}  // namespace
