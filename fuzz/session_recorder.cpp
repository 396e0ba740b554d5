#include "fuzz/session_recorder.h"

#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

// ------------------------------------------------------------- scenarios --

static void two_Tracks()
{
    sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, 5, 11, true});
    sim_AddTrack(SimTrack{2, 4, 7, 15, 9, 10, 0, 3, 12, false});
}

static void no_Records() {}

// Items lost from a track too short for filling gaps item by item: the whole
// track is asked for again until it is complete.
static void lost_Items()
{
    sim_AddTrack(SimTrack{7, 28, 2, 16, 23, 59, 50, 16, 21, true});
    sim_settings.faults.seed = 5;
    sim_settings.faults.lose_item_reply_ppm = 150000;
}

static void noisy_Line()
{
    sim_AddTrack(SimTrack{3, 1, 12, 19, 0, 0, 5, 4, 31, true});
    sim_settings.faults.seed = 9;
    sim_settings.faults.noise_ppm = 400000;
    sim_settings.faults.corrupt_byte_ppm = 4000;
}

// The logger switches speed but its answer is lost: the line is found again.
static void lost_Speed_Answer()
{
    sim_AddTrack(SimTrack{12, 9, 9, 20, 12, 30, 0, 3, 41, true});
    sim_settings.faults.swallow_speed_answers = 1;
}

// A track long enough that one lost item is fetched alone; the seed of the
// fault generator that loses one.
constexpr uint32_t GAP_FILL_SEED = 6;

static void gap_Fill()
{
    sim_AddTrack(SimTrack{20, 15, 6, 21, 6, 0, 0, 101, 51, true});
    sim_settings.faults.seed = GAP_FILL_SEED;
    sim_settings.faults.lose_item_reply_ppm = 10000;
}

const RecordedScenario recorded_scenarios[] = {
    {"two_tracks", two_Tracks, "ZORP read done. Data saved.", true, false},
    {"no_records", no_Records, "No records on ZORP.", true, false},
    {"lost_items", lost_Items, "ZORP read done. Data saved.", true, false},
    {"noisy_line", noisy_Line, "ZORP read done. Data saved.", false, false},
    {"lost_speed_answer", lost_Speed_Answer, "ZORP read done. Data saved.", true, false},
    {"gap_fill", gap_Fill, "ZORP read done. Data saved.", true, true},
};
const int recorded_scenario_count = int(std::size(recorded_scenarios));

// ------------------------------------------------------------- recording --

static std::vector<RecordedExchange>* recording;

static void tap_Written(const uint8_t* bytes, uint32_t count)
{
    recording->push_back({std::vector<uint8_t>(bytes, bytes + count), {}});
}

static void tap_Read(const uint8_t* bytes, uint32_t count)
{
    // What arrives before the first request is no answer.
    if (!recording->empty()) recording->back().answer.insert(recording->back().answer.end(), bytes, bytes + count);
}

std::vector<RecordedExchange> record_Download()
{
    std::vector<RecordedExchange> exchanges;
    recording = &exchanges;
    sim_taps = {tap_Written, tap_Read};
    session_Run();
    sim_taps = {};
    recording = nullptr;
    for (RecordedExchange& exchange : exchanges) {
        std::vector<uint8_t>& answer = exchange.answer;
        if (answer.size() >= exchange.request.size() &&
            std::equal(exchange.request.begin(), exchange.request.end(), answer.begin()))
            answer.erase(answer.begin(), answer.begin() + long(exchange.request.size()));
    }
    return exchanges;
}

// ----------------------------------------------------------------- input --

std::vector<std::vector<uint8_t>> reply_Frames(const std::vector<uint8_t>& answer)
{
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; at + 5 <= answer.size();) {
        const size_t length = answer[at + 2];
        if (answer[at] == FRAME_START_REPLY && answer[at + 1] == FRAME_FIXED_BYTE && length >= 5 &&
            at + length <= answer.size() && GPS_Crc16(answer.data() + at, uint32_t(length)) == 0) {
            frames.emplace_back(answer.begin() + long(at), answer.begin() + long(at + length));
            at += length;
        } else {
            ++at;
        }
    }
    return frames;
}

std::vector<RecordedExchange> compact_Items(std::vector<RecordedExchange> exchanges)
{
    constexpr uint8_t COMPACT_LENGTH = 14;  // the countdown ends at byte 10
    for (RecordedExchange& exchange : exchanges) {
        if (exchange.request.size() < 4 || exchange.request[3] != 0x13) continue;
        std::vector<uint8_t> answer;
        for (std::vector<uint8_t> frame : reply_Frames(exchange.answer)) {
            frame.resize(COMPACT_LENGTH - 2);
            frame[2] = COMPACT_LENGTH;
            frame[11] = 0;
            const uint16_t crc = GPS_Crc16(frame.data(), uint32_t(frame.size()));
            frame.push_back(uint8_t(crc));
            frame.push_back(uint8_t(crc >> 8));
            answer.insert(answer.end(), frame.begin(), frame.end());
        }
        exchange.answer = answer;
    }
    return exchanges;
}

void answer_Append(std::vector<uint8_t>& input, const std::vector<uint8_t>& answer)
{
    constexpr uint32_t AT_ONCE = 1;  // index of 0 us in FUZZ_DELAYS_US
    size_t at = 0;
    do {
        const size_t count = std::min<size_t>(answer.size() - at, PIECE_LENGTH_MASK);
        const bool more = at + count < answer.size();
        uint32_t header = uint32_t(count);
        if (at != 0) header |= AT_ONCE << PIECE_DELAY_SHIFT;
        if (more) header |= PIECE_MORE;
        input.push_back(uint8_t(header));
        input.push_back(uint8_t(header >> 8));
        input.insert(input.end(), answer.begin() + long(at), answer.begin() + long(at + count));
        at += count;
    } while (at < answer.size());
}

std::vector<uint8_t> download_Input(const std::vector<RecordedExchange>& exchanges, uint8_t settings)
{
    std::vector<uint8_t> input = {settings};
    for (const RecordedExchange& exchange : exchanges) answer_Append(input, exchange.answer);
    return input;
}
