// Generated tracks: NMEA sentences with correct checksums in GGA, RMC, GSA
// turn, fix times one second apart across midnight, timing values, and the
// memory's layout of long and many tracks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/sim.h"
#include "tests/sim/sim_support.h"

using SimTracks = SimTest;

namespace {

std::string item_Text(int track, uint32_t item)
{
    char text[SIM_ITEM_TEXT_MAX];
    return std::string(text, sim_ItemText(track, item, text));
}

// The checksum a sentence should carry: the XOR of the characters between
// '$' and '*'.
unsigned nmea_Sum(const std::string& sentence)
{
    unsigned sum = 0;
    for (size_t i = 1; i < sentence.size() && sentence[i] != '*'; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    return sum;
}

int two_digits(const std::string& s, size_t at)
{
    return (s.at(at) - '0') * 10 + (s.at(at + 1) - '0');
}

// Fields between commas, the one after "$GPxxx" being 1.
std::string field(const std::string& sentence, int n)
{
    size_t start = 0;
    for (int i = 0; i < n; ++i) start = sentence.find(',', start) + 1;
    return sentence.substr(start, sentence.find_first_of(",*", start) - start);
}

}  // namespace

TEST_F(SimTracks, SentencesTakeTurnsAndCarryTheirChecksum)
{
    sim_AddTrack(test_Track(1, 3000, 12345));
    sim_AddTrack(test_Track(2, 3000, 999999));
    const char* kinds[] = {"$GPGGA,", "$GPRMC,", "$GPGSA,"};
    for (int track = 0; track < 2; ++track) {
        for (uint32_t i = 0; i < 3000; ++i) {
            const std::string s = item_Text(track, i);
            ASSERT_LE(s.size(), SIM_ITEM_TEXT_MAX);
            ASSERT_EQ(s.compare(0, 7, kinds[i % 3]), 0) << s;
            ASSERT_GE(s.size(), 5u);
            ASSERT_EQ(s.back(), '\r') << s;
            const size_t star = s.size() - 4;
            ASSERT_EQ(s[star], '*') << s;
            unsigned written = 0;
            ASSERT_EQ(std::sscanf(s.c_str() + star + 1, "%2X", &written), 1);
            ASSERT_EQ(written, nmea_Sum(s)) << s;
            ASSERT_EQ(s.find_first_not_of("$GPAMCRS,.*0123456789ABCDEFNE\r"), std::string::npos) << s;
        }
    }
}

// Fix times count on one second per item, through midnight into the next
// day, month and year; RMC carries the date.
TEST_F(SimTracks, FixTimeAdvancesOneSecondPerItemAcrossMidnight)
{
    SimTrack track = test_Track(1, 10);
    track.day = 31;
    track.month = 12;
    track.year = 19;
    track.hour = 23;
    track.minute = 59;
    track.second = 58;
    sim_AddTrack(track);
    struct Row {
        uint32_t item;
        int hh, mm, ss;
        const char* date;  // RMC only
    };
    const Row rows[] = {
        {0, 23, 59, 58, nullptr}, {1, 23, 59, 59, "311219"}, {3, 0, 0, 1, nullptr}, {4, 0, 0, 2, "010120"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.item);
        const std::string s = item_Text(0, row.item);
        EXPECT_EQ(two_digits(s, 7), row.hh);
        EXPECT_EQ(two_digits(s, 9), row.mm);
        EXPECT_EQ(two_digits(s, 11), row.ss);
        if (row.date != nullptr) {
            EXPECT_EQ(field(s, 9), row.date);
        }
    }
}

TEST_F(SimTracks, LeapDayComesInLeapYearsOnly)
{
    SimTrack leap = test_Track(1, 86400 * 2);
    leap.day = 28;
    leap.month = 2;
    leap.year = 20;
    leap.hour = leap.minute = leap.second = 0;
    SimTrack plain = leap;
    plain.year = 19;
    sim_AddTrack(leap);
    sim_AddTrack(plain);
    EXPECT_EQ(field(item_Text(0, 86400 + 1), 9), "290220");  // item 86401 is an RMC
    EXPECT_EQ(field(item_Text(1, 86400 + 1), 9), "010319");
}

TEST_F(SimTracks, PositionsMoveSlowlyAndStayOnTheMap)
{
    sim_AddTrack(test_Track(1, 100000, 4242));
    double last_lat = -1;
    for (uint32_t i = 0; i < 100000; i += 3 * 1000) {
        const std::string gga = item_Text(0, i);
        const double lat = std::stod(field(gga, 2));
        const double lon = std::stod(field(gga, 4));
        EXPECT_EQ(field(gga, 2).find('.'), 4u) << gga;  // ddmm.mmmm
        EXPECT_EQ(field(gga, 4).find('.'), 5u) << gga;  // dddmm.mmmm
        EXPECT_GE(lat, 3500.0);
        EXPECT_LT(lat, 5600.0);
        EXPECT_LT(lon, 3100.0);
        EXPECT_NE(lat, last_lat);
        last_lat = lat;
    }
}

TEST_F(SimTracks, SameFieldsGiveTheSameItemsOtherSeedsOthers)
{
    sim_AddTrack(test_Track(1, 50, 10));
    sim_AddTrack(test_Track(2, 50, 10));
    sim_AddTrack(test_Track(3, 50, 11));
    int differ = 0;
    for (uint32_t i = 0; i < 50; ++i) {
        EXPECT_EQ(item_Text(0, i), item_Text(1, i));
        EXPECT_EQ(sim_ItemTiming(0, i), sim_ItemTiming(1, i));
        differ += item_Text(0, i) != item_Text(2, i);
    }
    EXPECT_GT(differ, 40);
}

TEST_F(SimTracks, TimingValuesVaryAndSomeAreZero)
{
    sim_AddTrack(test_Track(1, 1000, 3, true));
    sim_AddTrack(test_Track(2, 1000, 3, false));
    int zeros = 0, distinct_from_previous = 0;
    for (uint32_t i = 0; i < 1000; ++i) {
        EXPECT_EQ(sim_ItemTiming(1, i), 0);
        zeros += sim_ItemTiming(0, i) == 0;
        distinct_from_previous += i > 0 && sim_ItemTiming(0, i) != sim_ItemTiming(0, i - 1);
    }
    EXPECT_GT(zeros, 100);
    EXPECT_LT(zeros, 300);
    EXPECT_GT(distinct_from_previous, 700);
}

TEST_F(SimTracks, TracksLieOneAfterAnother)
{
    EXPECT_EQ(sim_MemoryItemCount(), 0u);
    sim_AddTrack(test_Track(1, 40000));
    sim_AddTrack(test_Track(2, 0));
    sim_AddTrack(test_Track(3, 5));
    EXPECT_EQ(sim_TrackFirstItem(0), 0u);
    EXPECT_EQ(sim_TrackFirstItem(1), 40000u);
    EXPECT_EQ(sim_TrackFirstItem(2), 40000u);
    EXPECT_EQ(sim_MemoryItemCount(), 40005u);
}

TEST_F(SimTracks, TableHoldsFourHundredTracks)
{
    EXPECT_EQ(sim_AddTracks(401, 1, 3, 1), 400);
    EXPECT_EQ(sim_AddTrack(test_Track(401, 1)), -1);
    EXPECT_EQ(sim_MemoryItemCount(), 1200u);
    // One day apart from 2015-07-03, timing on every other track.
    EXPECT_EQ(sim_tracks[1].day, 4);
    EXPECT_EQ(sim_tracks[29].month, 8);
    EXPECT_EQ(sim_tracks[29].day, 1);
    EXPECT_TRUE(sim_tracks[0].timing);
    EXPECT_FALSE(sim_tracks[1].timing);
    EXPECT_EQ(sim_tracks[399].track_no, 400);
}
