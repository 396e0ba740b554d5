// Records the line of clean simulated downloads: for every request the
// program wrote, the bytes that came back to the adapter until the next
// request, the request's echo taken off. The recordings seed the fuzz
// targets (fuzz/make_corpus.cpp), and replaying them through the download
// target must give the logger's tracks (fuzz/corpus_test.cpp).
#pragma once

#include <cstdint>
#include <vector>

struct RecordedExchange {
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
};

// A logger and line for a short download; set_up runs after session_Begin
// and adds the logger's tracks and any faults of the line.
struct RecordedScenario {
    const char* name;
    void (*set_up)();
    const char* last_line;  // the status line a complete download ends with
    bool frames_intact;     // no byte corrupted: sealing frames changes nothing
    bool long_answers;      // beyond what the scripted line holds in flight
                            // (SIM_IN_FLIGHT_MAX): replayed, and seeded, with
                            // compact item replies only
};

extern const RecordedScenario recorded_scenarios[];
extern const int recorded_scenario_count;

// Runs the download that session_Begin and a scenario set up, to its end.
std::vector<RecordedExchange> record_Download();

// The download target's input for a recording: the settings byte
// (fuzz/download_fuzz.h), then every answer in order.
std::vector<uint8_t> download_Input(const std::vector<RecordedExchange>& exchanges, uint8_t settings = 0);

// The valid reply frames in an answer, in order, other bytes skipped.
std::vector<std::vector<uint8_t>> reply_Frames(const std::vector<uint8_t>& answer);

// The recording with every item reply cut to the 14 bytes that keep its
// countdown (no text) and sealed again, other bytes of those answers
// dropped: the same course of the download in a fraction of the bytes, for
// the seeds of tracks long enough to have their gaps filled.
std::vector<RecordedExchange> compact_Items(std::vector<RecordedExchange> exchanges);

// Appends bytes as one answer: pieces of at most 4095 bytes, the first
// after the logger's usual pause, the others straight behind.
void answer_Append(std::vector<uint8_t>& input, const std::vector<uint8_t>& answer);
