// Track GPX: sentences to points, files left whole or not at all, the folder
// sweep, and the GPX of each track a download saves.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "download/download.h"
#include "gpx/gpx.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A sentence as a logger writes it: the checksum over the body, CR LF.
std::string nmea(const std::string& body, unsigned wrong = 0)
{
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", sum ^ wrong);
    return "$" + body + tail;
}

// The trkpt lines of a GPX text.
std::string points_Of(const std::string& gpx)
{
    std::istringstream in(gpx);
    std::string line, points;
    while (std::getline(in, line))
        if (line.find("<trkpt") != std::string::npos) points += line.substr(line.find('<')) + "\n";
    return points;
}

// A Garmin TrackPointExtension with speed and course; "" leaves one out.
std::string EXTENSION(const std::string& speed, const std::string& course)
{
    return "<extensions><gpxtpx:TrackPointExtension>" +
           (speed.empty() ? "" : "<gpxtpx:speed>" + speed + "</gpxtpx:speed>") +
           (course.empty() ? "" : "<gpxtpx:course>" + course + "</gpxtpx:course>") +
           "</gpxtpx:TrackPointExtension></extensions>";
}

const std::string GGA_S_W = "GPGGA,123519.25,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,46.9,M,,";
// A trkpt line: its position, elevation ("" none) and time, then the rest of what it holds.
std::string pt(const char* lat, const char* lon, const std::string& ele, const char* time, const std::string& rest = "")
{
    return std::string("<trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">" + (ele.empty() ? "" : "<ele>" + ele + "</ele>") +
           "<time>" + time + "</time>" + rest + "</trkpt>\n";
}
std::string pt10(const std::string& ele, const char* time, const std::string& rest = "")  // at 10 N 10 E
{
    return pt("10.0000000", "10.0000000", ele, time, rest);
}
const std::string POINT_S_W = pt("-33.7520567", "-151.2094633", "545.4", "2026-12-31T12:35:19.25Z",
                                 "<geoidheight>46.9</geoidheight><fix>3d</fix><sat>8</sat><hdop>0.9</hdop>");

struct GpxTrack : ::testing::Test {
    TempDir dir;
    std::string txt = dir.path("2026-12-31_2359_007.txt"), gpx = dir.path("2026-12-31_2359_007.gpx");
    void SetUp() override { log_Clear(), sim_ResetFiles(); }
    void TearDown() override { sim_ResetFiles(); }
    int convert(const std::string& text, const std::string& path)
    {
        std::ofstream(path, std::ios::binary) << text;
        return gpx_WriteTrack(path.c_str());
    }
};

TEST_F(GpxTrack, SentencesBecomePointsWithTheirDates)
{
    const struct {
        const char* name;
        std::string text;
        std::string points;  // "": no file
        std::string track = "2026-12-31_2359_007";  // the track file's name
    } rows[] = {
        {"north and east positive, rounded to 7 decimals",
         nmea("GPRMC,000001,A,4807.038,N,01131.0000,E,0.0,0.0,010127,,,A") +
             nmea("GPRMC,000002,A,0000.00003,S,00000.00029,W,,,010127,,"),
         pt("48.1173000", "11.5166667", "", "2027-01-01T00:00:01Z", EXTENSION("0.000", "0.0")) +
             pt("-0.0000005", "-0.0000048", "", "2027-01-01T00:00:02Z")},
        {"GGA and RMC of one time make one point dated by the RMC, in either order",
         nmea("GPGGA,235959.5,5000.0000,N,00800.0000,E,6,03,1.5,100.0,M,47.0,M,,") +
             nmea("GPRMC,235959.5,A,5000.0000,N,00800.0000,E,1.0,90.0,040715,,,D") +
             nmea("GPRMC,000001,A,5000.0002,N,00800.0000,E,1.0,90.0,050715,,,D") +
             nmea("GPGGA,000001,5000.0002,N,00800.0000,E,6,07,0.8,101.0,M,47.0,M,,"),
         pt("50.0000000", "8.0000000", "100.0", "2015-07-04T23:59:59.5Z",
            "<geoidheight>47.0</geoidheight><fix>dgps</fix><sat>3</sat><hdop>1.5</hdop>" + EXTENSION("0.514", "90.0")) +
             pt("50.0000033", "8.0000000", "101.0", "2015-07-05T00:00:01Z",
                "<geoidheight>47.0</geoidheight><fix>dgps</fix><sat>7</sat><hdop>0.8</hdop>" + EXTENSION("0.514", "90.0"))},
        {"speed from knots to metres per second, course in degrees up to 360",
         nmea("GPRMC,101010,A,1000.0000,N,01000.0000,E,12.345,359.99,101010,,") +
             nmea("GPRMC,101012,A,1000.0000,N,01000.0000,E,999999999999,0360,101010,,") +
             nmea("GPRMC,101013,A,1000.0000,N,01000.0000,E,1234567890123,360.5,101010,,") +
             nmea("GPRMC,101014,A,1000.0000,N,01000.0000,E,-1.0,-0.5,101010,,") +
             nmea("GPRMC,101016,A,1000.0000,N,01000.0000,E,,.5,101010,,"),
         pt10("", "2010-10-10T10:10:10Z", EXTENSION("6.351", "359.99")) +
             pt10("", "2010-10-10T10:10:12Z", EXTENSION("514444444443.930", "0")) +
             pt10("", "2010-10-10T10:10:13Z") + pt10("", "2010-10-10T10:10:14Z") +
             pt10("", "2010-10-10T10:10:16Z", EXTENSION("", ".5"))},
        {"GGA only: the date of the file's name, the next one after midnight",
         nmea("GPGGA,235958.000,0100.0000,N,00100.0000,E,1,05,1.0,-2.5,M,,,,") +
             nmea("GPGGA,000002.000,0100.0000,N,00100.0000,E,6,,,,,,,,"),
         pt("1.0000000", "1.0000000", "-2.5", "2026-12-31T23:59:58.000Z", "<fix>3d</fix><sat>5</sat><hdop>1.0</hdop>") +
             pt("1.0000000", "1.0000000", "", "2027-01-01T00:00:02.000Z")},
        {"the kinds of fix",
         nmea("GPGGA,101010,1000.0000,N,01000.0000,E,2,09,1.0,1.0,M,-3.5,F,,") +  // geoid height in feet
             nmea("GPGGA,101011,1000.0000,N,01000.0000,E,3,09,1.0,1.0,M,-3.5,M,,") +
             nmea("GPGGA,101012,1000.0000,N,01000.0000,E,5,,,,,,,,") +
             nmea("GPGGA,101013,1000.0000,N,01000.0000,E,1,09,1.0,,,,,,"),
         pt10("1.0", "2026-12-31T10:10:10Z", "<fix>dgps</fix><sat>9</sat><hdop>1.0</hdop>") +
             pt10("1.0", "2026-12-31T10:10:11Z", "<geoidheight>-3.5</geoidheight><fix>pps</fix><sat>9</sat><hdop>1.0</hdop>") +
             pt10("", "2026-12-31T10:10:12Z", "<fix>dgps</fix>") +
             pt10("", "2026-12-31T10:10:13Z", "<fix>2d</fix><sat>9</sat><hdop>1.0</hdop>")},
        {"two items recorded without a line end between them",
         nmea("GPRMC,101010,A,1000.0000,N,01000.0000,E,,,101010,,").substr(0, 54) +  // no CR LF
             nmea("GPRMC,101011,A,1000.0000,N,01000.0000,E,,,101010,,"),
         pt10("", "2010-10-10T10:10:10Z") + pt10("", "2010-10-10T10:10:11Z")},
        {"sentences that do not count",
         nmea("GPGGA,123510,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,,,,", 1) +      // checksum wrong
             "$GPGGA,123511,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,,,,\r\n" +         // none
             nmea("GPGGA,123512,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,,,,").substr(1) +  // no '$'
             nmea("GPGGA,123520,3345.1234,S,15112.5678,W,0,08,0.9,545.4,M,,,,") +         // no fix
             nmea("GPGGA,123521,3345.1234,S,15112.5678,W,8,08,0.9,545.4,M,,,,") +         // simulated
             nmea("GPRMC,123522,V,3345.1234,S,15112.5678,W,,,311226,,") +                 // void
             nmea("GPRMC,123523,A,3345.1234,S,15112.5678,W,,,311226,,,N") +               // mode: no fix
             nmea("GPGGA,123524,3360.0000,S,15112.5678,W,1,08,0.9,545.4,M,,,,") +         // 60 minutes
             nmea("GPGGA,123525,9100.0000,N,15112.5678,W,1,08,0.9,545.4,M,,,,") +         // past the pole
             nmea("GPGGA,123526,3345.1234,X,15112.5678,W,1,08,0.9,545.4,M,,,,") +         // no hemisphere
             nmea("GPGGA,123527,,,,,1,08,0.9,545.4,M,,,,") +                              // no position
             nmea("GPGGA,246000,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,,,,") +         // no such time
             nmea("GPGSA,A,3,01,02,03,04,,,,,,,,,1.8,0.9,1.5") + "Logger restarted\r\n" +
             std::string(300, 'x') + "\r\n" + nmea(GGA_S_W),
         POINT_S_W},
        {"longitude 180 written as -180, as GPX's range ends below 180",
         nmea("GPRMC,101010,A,1000.0000,N,18000.0000,E,,,101010,,") +
             nmea("GPRMC,101011,A,9000.0000,S,17959.999999999,E,,,101010,,") +
             nmea("GPRMC,101012,A,9000.0000,N,18000.0000,W,,,101010,,"),
         pt("10.0000000", "-180.0000000", "", "2010-10-10T10:10:10Z") +
             pt("-90.0000000", "-180.0000000", "", "2010-10-10T10:10:11Z") +
             pt("90.0000000", "-180.0000000", "", "2010-10-10T10:10:12Z")},
        {"fixes after 9999-12-31 left out, as GPX years have four digits",
         nmea("GPGGA,235958,0100.0000,N,00100.0000,E,1,05,1.0,,,,,,") +
             nmea("GPGGA,000002,0100.0000,N,00100.0000,E,1,05,1.0,,,,,,") +
             nmea("GPGGA,000003,0100.0000,N,00100.0000,E,1,05,1.0,,,,,,"),
         pt("1.0000000", "1.0000000", "", "9999-12-31T23:59:58Z", "<fix>2d</fix><sat>5</sat><hdop>1.0</hdop>"),
         "9999-12-31_2359_007"},
        {"no usable fix at all", nmea("GPGGA,123520,3345.1234,S,15112.5678,W,0,00,,,,,,,"), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& entry : std::filesystem::directory_iterator(dir.dir)) std::filesystem::remove(entry);
        log_Clear();
        const bool written = !row.points.empty();
        EXPECT_EQ(convert(row.text, dir.path((row.track + ".txt").c_str())), written ? GPX_WRITTEN : GPX_NO_FIX);
        const std::string text = file_Contents(dir.path((row.track + ".gpx").c_str()));
        EXPECT_EQ(points_Of(text), row.points);
        const size_t points = std::ranges::count(row.points, '\n');
        EXPECT_EQ(log_Lines().back(), written ? "GPX: " + row.track + ".gpx (" + std::to_string(points) +
                                             (points == 1 ? " point)" : " points)")
                                       : "GPX: " + row.track + ".txt has no usable fix, no GPX written");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir), {}), written ? 2 : 1);
    }
}

// A GPX that is there already is kept (each failing file call: the
// download's fault loop).
TEST_F(GpxTrack, ExistingOneIsKept)
{
    std::ofstream(txt, std::ios::binary) << nmea(GGA_S_W);
    std::ofstream(gpx) << "made by hand";
    EXPECT_EQ(gpx_WriteTrack(txt.c_str()), GPX_EXISTS);
    EXPECT_EQ(log_Lines().back(), "GPX: 2026-12-31_2359_007.gpx exists, kept");
    EXPECT_EQ(file_Contents(gpx), "made by hand");
    std::filesystem::remove(txt);
    EXPECT_EQ(gpx_WriteTrack(txt.c_str()), GPX_EXISTS);
}

// More track files than one listing collects, some with a GPX already, and
// files that are no track's.
TEST(GpxSweep, WritesEveryMissingGpxInNameOrder)
{
    TempDir dir;
    log_Clear(), sim_ResetFiles();
    const std::string fix = nmea("GPRMC,101010,A,1000.0000,N,01000.0000,E,,,101010,,");
    std::vector<std::string> written;
    for (int id = 1; id <= 40; ++id) {
        char name[32];
        snprintf(name, sizeof name, "2015-07-%02d_0845_%03d.", 1 + id % 28, id * 37 % 1000);
        std::ofstream(dir.path(name) + "txt") << (id == 9 ? "no fix here\r\n" : fix);
        if (id % 10 == 3) std::ofstream(dir.path(name) + "gpx") << "kept";
        else if (id != 9) written.push_back(std::string(name) + "gpx");
    }
    for (const char* other : {"notes.txt", "2015-07-03_0845_01.txt", "2015-07-03_0845_001.txt.tmp"})
        std::ofstream(dir.path(other)) << fix;
    std::filesystem::create_directory(dir.path("2015-07-03_0845_002.txt"));

    EXPECT_EQ(gpx_WriteMissing(dir.dir.c_str()), int(written.size()));
    std::vector<std::string> gpx_files, lines;
    for (const auto& entry : std::filesystem::directory_iterator(dir.dir))
        if (entry.path().extension() == ".gpx" && file_Contents(entry.path().string()) != "kept")
            gpx_files.push_back(entry.path().filename().string());
    std::ranges::sort(written), std::ranges::sort(gpx_files);
    EXPECT_EQ(gpx_files, written);
    for (const auto& line : status_log) lines.emplace_back(line);
    std::vector<std::string> tail(written.end() - LOG_LINE_COUNT, written.end());
    for (std::string& name : tail) name = "GPX: " + name + " (1 point)";
    EXPECT_EQ(lines, tail);  // in name order, the no-fix track's line scrolled away before them

    EXPECT_EQ(gpx_WriteMissing(dir.dir.c_str()), 0);
    EXPECT_EQ(gpx_WriteTrack(dir.path("2015-07-03_0845_01.txt").c_str()), GPX_NOT_TRACK);
    EXPECT_EQ(log_Lines().back(), "GPX: 2015-07-03_0845_01.txt is not named as a track, no GPX written");
}

#ifndef _WIN32
// A track file swapped, after the folder was listed, for something that
// holds no track of this folder: the sweep neither waits on it (a FIFO that
// nobody writes would hold the program for good) nor reads it as a track; it
// says it could not read it and writes the other track's GPX.
TEST(GpxSweep, TrackSwappedAfterTheListingIsNeitherWaitedOnNorRead)
{
    static const struct {
        const char* name;
        int (*plant)(const char* at, const char* elsewhere);
    } rows[] = {
        {"FIFO", [](const char* at, const char*) { return mkfifo(at, 0644); }},
        {"link to a track elsewhere", [](const char* at, const char* elsewhere) { return symlink(elsewhere, at); }},
    };
    const std::string fix = nmea("GPRMC,101010,A,1000.0000,N,01000.0000,E,,,101010,,");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        static TempDir* dir;
        static decltype(row.plant) plant;
        TempDir here, away;
        dir = &here, plant = row.plant;
        log_Clear(), sim_ResetFiles();
        std::ofstream(here.path("2015-07-03_0845_001.txt")) << fix;
        std::ofstream(here.path("2015-07-04_0845_002.txt")) << fix;
        std::ofstream(away.path("2015-07-03_0845_001.txt")) << fix;
        static std::string elsewhere;
        elsewhere = away.path("2015-07-03_0845_001.txt");
        sim_file_faults.hook = [](SimFileCall call, const char* path) {
            if (call != SIM_CALL_OPEN_READ || path != dir->path("2015-07-03_0845_001.txt") || plant == nullptr)
                return;
            std::filesystem::remove(path);
            EXPECT_EQ(plant(path, elsewhere.c_str()), 0);
            plant = nullptr;
        };
        alarm(20);  // a wait on the FIFO ends the test as failed rather than never
        EXPECT_EQ(gpx_WriteMissing(here.dir.c_str()), 1);
        alarm(0);
        EXPECT_EQ(plant, nullptr) << "nothing was swapped";
        EXPECT_FALSE(std::filesystem::exists(here.path("2015-07-03_0845_001.gpx")));
        EXPECT_TRUE(std::filesystem::exists(here.path("2015-07-04_0845_002.gpx")));
        const Lines lines = log_Lines();
        EXPECT_NE(std::ranges::find(lines, "Read error, file:" + here.path("2015-07-03_0845_001.txt")), lines.end());
        sim_ResetFiles();
    }
}
#endif

// The switch first writes what the folder lacks, then each track right
// after it is saved, so that a download cut short leaves every saved track
// with its GPX.
TEST(GpxDownload, SwitchOnWritesFolderThenEachSavedTrack)
{
    session_Begin();
    sim_AddTrack(SimTrack{40, 3, 7, 15, 8, 45, 12, 200, 21, true});
    sim_AddTrack(SimTrack{41, 4, 7, 15, 23, 59, 30, 150, 22, false});
    sim_AddTrack(SimTrack{42, 5, 7, 15, 9, 0, 0, 300, 23, true});
    std::ofstream(session_Dir() + "/" + expected_Name(1, 2)) << expected_Text(1);
    shell_SetGpx(true);
    session_Run();
    const Lines lines = log_Lines();
    const std::string read = " ... read GPS data (100%)";
    EXPECT_EQ(lines.front(), "GPX: 2015-07-04_2359_002.gpx (100 points)");
    EXPECT_EQ(Lines(lines.end() - 6, lines.end()),
              (Lines{"Track ID=  1 (  200 items), File: 2015-07-03_0845_001.txt" + read,
                     "GPX: 2015-07-03_0845_001.gpx (134 points)",
                     "Track ID=  2 (  150 items), File: 2015-07-04_2359_002.txt ... exist, skipping",
                     "Track ID=  3 (  300 items), File: 2015-07-05_0900_003.txt" + read,
                     "GPX: 2015-07-05_0900_003.gpx (200 points)", "ZORP read done. Data saved."}));
    session_End();
}

}  // namespace
