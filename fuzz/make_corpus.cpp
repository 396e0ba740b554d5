// Makes the fuzz targets' seed corpus from clean simulated downloads:
//   make_corpus <corpus directory>
// writes <dir>/download/<scenario>, one whole recorded session each;
// <dir>/exchange/<scenario>_<what>, single exchanges cut from the
// recordings (a probe, the identity, the directory listing, an item stream
// read receive-only, a quick speed command, a request that needed
// retries); and <dir>/decoders/<scenario>, the replies of a session as
// operations on the decoders. Each file is a few KB.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "download/download.h"
#include "fuzz/decoders_fuzz.h"
#include "fuzz/download_fuzz.h"
#include "fuzz/exchange_fuzz.h"
#include "fuzz/session_recorder.h"
#include "tests/download/download_session.h"

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t TRANSACT_PROBE = exchange_Mode(KIND_TRANSACT, TIMING_PROBE);
constexpr uint8_t TRANSACT_QUICK = exchange_Mode(KIND_TRANSACT, TIMING_QUICK);
constexpr uint8_t TRANSACT_STREAM = exchange_Mode(KIND_TRANSACT, TIMING_STREAM);
constexpr uint8_t RETRY_COMMAND = exchange_Mode(KIND_RETRY, TIMING_COMMAND);
constexpr uint8_t RETRY_STREAM = exchange_Mode(KIND_RETRY, TIMING_STREAM);
constexpr uint8_t RECEIVE_STREAM = exchange_Mode(KIND_RECEIVE_ONLY, TIMING_STREAM);

void put(Bytes& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void write_File(const fs::path& path, const Bytes& bytes)
{
    // The same seed twice is no seed.
    static std::vector<Bytes> written;
    if (std::find(written.begin(), written.end(), bytes) != written.end()) return;
    written.push_back(bytes);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
}

uint8_t command_Of(const RecordedExchange& exchange)
{
    return exchange.request.size() > 3 ? exchange.request[3] : 0;
}

Bytes exchange_Input(int mode, const Bytes& request, const std::vector<Bytes>& answers)
{
    Bytes input = {uint8_t(mode)};
    if ((mode & MODE_KIND_MASK) != KIND_RECEIVE_ONLY) {
        put(input, uint32_t(request.size()), 2);
        input.insert(input.end(), request.begin(), request.end());
    }
    for (const Bytes& answer : answers) answer_Append(input, answer);
    return input;
}

// Named <scenario>_<what> in dir.
void write_Exchanges(const fs::path& dir, const std::string& scenario, const std::vector<RecordedExchange>& exchanges,
                     uint8_t flags)
{
    auto seed = [&](const char* what, uint8_t mode, const Bytes& request, const std::vector<Bytes>& answers) {
        write_File(dir / (scenario + "_" + what), exchange_Input(mode | flags, request, answers));
    };
    bool probe = false, identity = false, listing = false, items = false, quick = false, retried = false;
    for (size_t i = 0; i < exchanges.size(); ++i) {
        const RecordedExchange& exchange = exchanges[i];
        const Bytes& request = exchange.request;
        const Bytes& answer = exchange.answer;
        switch (command_Of(exchange)) {
        case 0x01:
            if (!probe && request.size() == 7 && request[4] == 0xFF && !answer.empty()) {
                probe = true;
                seed("probe", TRANSACT_PROBE, request, {answer});
            }
            break;
        case 0x02:
            if (!identity) {
                identity = true;
                seed("identity", RETRY_COMMAND, request, {answer});
            }
            break;
        case 0x06:
            if (!quick && !answer.empty()) {
                quick = true;
                seed("speed_quick", TRANSACT_QUICK, request, {answer});
            }
            break;
        case 0x12:
            if (!listing && request.size() >= 10 && request[8] == 0xFF) {
                listing = true;
                seed("listing", TRANSACT_STREAM, request, {answer});
            }
            break;
        case 0x13: {
            // The stream behind the first reply is read receive-only.
            const std::vector<Bytes> frames = reply_Frames(answer);
            if (!items && frames.size() > 2) {
                items = true;
                Bytes stream;
                for (size_t f = 1; f < frames.size(); ++f)
                    stream.insert(stream.end(), frames[f].begin(), frames[f].end());
                seed("item_stream", RECEIVE_STREAM, {}, {stream});
            }
            break;
        }
        }
        // A request sent again: its attempts' answers in a row.
        if (!retried && i + 1 < exchanges.size() && exchanges[i + 1].request == request) {
            retried = true;
            std::vector<Bytes> answers;
            for (size_t k = i; k < exchanges.size() && exchanges[k].request == request; ++k)
                answers.push_back(exchanges[k].answer);
            seed("retried", RETRY_STREAM, request, answers);
        }
    }
}

// The replies of a session as the download would hand them to the decoders.
Bytes decoder_Input(const std::vector<RecordedExchange>& exchanges)
{
    Bytes input;
    auto frame = [&](const Bytes& bytes) {
        input.push_back(OP_FRAME);
        put(input, uint32_t(bytes.size()), 2);
        input.insert(input.end(), bytes.begin(), bytes.end());
    };
    struct Track {
        uint32_t first, count;
    };
    std::vector<Track> tracks;
    int open = -1;
    auto save = [&] {
        if (open < 0) return;
        input.push_back(OP_SAVE);
        put(input, tracks[size_t(open)].count, 2);
    };
    for (const RecordedExchange& exchange : exchanges) {
        const Bytes& request = exchange.request;
        const std::vector<Bytes> frames = reply_Frames(exchange.answer);
        if (frames.empty()) continue;
        switch (command_Of(exchange)) {
        case 0x02:
            frame(frames[0]);
            input.push_back(OP_IDENTITY);
            break;
        case 0x12:
            input.push_back(OP_NEW_LISTING);
            for (const Bytes& reply : frames) {
                frame(reply);
                input.push_back(OP_ADD_HEAD);
                input.push_back(OP_SHOW_HEAD);
            }
            if (request[8] == 0) {
                input.push_back(OP_CHECK_HEADS);
                break;
            }
            tracks.clear();
            for (size_t f = 0; f + 1 < frames.size() && frames[f].size() >= 12; ++f)
                tracks.push_back({read_Uint(frames[f].data() + HEAD_FIRST_ITEM, 4),
                                  read_Uint(frames[f].data() + HEAD_ITEM_COUNT, 3)});
            break;
        case 0x13: {
            const uint32_t first = read_Uint(request.data() + 4, 4);
            int track = -1;
            for (size_t t = 0; t < tracks.size(); ++t)
                if (first >= tracks[t].first && first < tracks[t].first + tracks[t].count) track = int(t);
            if (track < 0) break;
            if (track != open) {
                save();
                open = track;
                input.push_back(OP_OPEN_TRACK);
                put(input, uint32_t(track), 2);
            }
            const Track& t = tracks[size_t(track)];
            const uint32_t count = read_Uint(request.data() + 8, 2);
            const uint32_t tail = count == 1 ? t.count - (first - t.first) - 1 : 0;
            for (const Bytes& reply : frames) {
                frame(reply);
                input.push_back(OP_ADD_TRACE);
                put(input, t.count, 4);
                put(input, tail, 4);
            }
            break;
        }
        }
    }
    save();
    return input;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];
    for (int s = 0; s < recorded_scenario_count; ++s) {
        const RecordedScenario& scenario = recorded_scenarios[s];
        session_Begin();
        scenario.set_up();
        const std::vector<RecordedExchange> exchanges = record_Download();
        session_End();

        const std::string name = scenario.name;
        // Seeds let the targets seal their frames, so that mutations inside
        // a frame reach what lies behind its CRC; corrupted frames must stay
        // corrupt.
        const bool seal = scenario.frames_intact;
        const std::vector<RecordedExchange> playable = scenario.long_answers ? compact_Items(exchanges) : exchanges;
        write_File(corpus / "download" / name, download_Input(playable, seal ? FUZZ_SEAL_FRAMES : 0));
        if (name == "two_tracks" || name == "noisy_line")
            write_Exchanges(corpus / "exchange", name, exchanges, seal ? MODE_SEAL_FRAMES : 0);
        if (name == "two_tracks" || name == "lost_items")
            write_File(corpus / "decoders" / name, decoder_Input(exchanges));
    }
    return 0;
}
