// GPX 1.1's value ranges, checked on the converter's output: each trkpt
// line with its elements in the schema's order (ele, time, geoidheight, fix,
// sat, hdop, vdop, pdop, extensions), latitude -90..90, longitude
// -180 <= lon < 180, a time that is a valid xsd:dateTime in UTC with a year
// of four digits (0001..9999), decimals for ele, geoidheight and the
// dilutions, a whole number for sat, one of the schema's fix types; in the
// extensions one Garmin TrackPointExtension v2 with speed (m/s, not
// negative) before course (degrees, 0 <= course < 360), its prefix declared
// on the root.
#pragma once

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

// "" when every trkpt of gpx is within the ranges; else the first line that
// is not, and why.
inline std::string gpx_RangeFault(const std::string& gpx)
{
    static const std::regex point(
        R"x(\s*<trkpt lat="([^"]*)" lon="([^"]*)">(?:<ele>([^<]*)</ele>)?(?:<time>([^<]*)</time>)?)x"
        R"x((?:<geoidheight>([^<]*)</geoidheight>)?(?:<fix>(none|2d|3d|dgps|pps)</fix>)?(?:<sat>([0-9]+)</sat>)?)x"
        R"x((?:<hdop>([^<]*)</hdop>)?(?:<vdop>([^<]*)</vdop>)?(?:<pdop>([^<]*)</pdop>)?)x"
        R"x(((?:<extensions><gpxtpx:TrackPointExtension>(?:<gpxtpx:speed>([^<]*)</gpxtpx:speed>)?)x"
        R"x((?:<gpxtpx:course>([^<]*)</gpxtpx:course>)?</gpxtpx:TrackPointExtension></extensions>)?)</trkpt>)x");
    enum { LAT = 1, LON, ELE, TIME, GEOID, FIX, SAT, HDOP, VDOP, PDOP, EXTENSIONS, SPEED, COURSE };
    static const std::regex decimal(R"x([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+))x");
    static const std::regex date_time(R"x(([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(\.[0-9]+)?Z)x");
    static const std::string gpxtpx = R"x(xmlns:gpxtpx="http://www.garmin.com/xmlschemas/TrackPointExtension/v2")x";
    const bool gpxtpx_declared = gpx.find(gpxtpx) < gpx.find("<trk>");
    std::istringstream in(gpx);
    for (std::string line; std::getline(in, line);) {
        if (line.find("<trkpt") == std::string::npos) continue;
        std::smatch m;
        if (!std::regex_match(line, m, point)) return line + ": not a trkpt of the schema's form";
        for (int group : {LAT, LON, ELE, GEOID, HDOP, VDOP, PDOP, SPEED, COURSE})
            if (m[group].matched && !std::regex_match(m[group].str(), decimal)) return line + ": not a decimal";
        const double lat = std::strtod(m[LAT].str().c_str(), nullptr), lon = std::strtod(m[LON].str().c_str(), nullptr);
        if (lat < -90 || lat > 90) return line + ": latitude out of range";
        if (lon < -180 || lon >= 180) return line + ": longitude out of range";
        if (m[EXTENSIONS].length() > 0 && !gpxtpx_declared) return line + ": extension's prefix not declared";
        // The whole degrees decide, exactly: "359.99999999999999999" is
        // in range, though strtod rounds it to 360.
        if (m[SPEED].matched && m[SPEED].str()[0] == '-') return line + ": negative speed";
        if (m[COURSE].matched &&
            (m[COURSE].str()[0] == '-' || std::strtoull(m[COURSE].str().c_str(), nullptr, 10) >= 360))
            return line + ": course out of range";
        if (!m[TIME].matched) continue;
        std::smatch t;
        const std::string time = m[TIME].str();
        if (!std::regex_match(time, t, date_time)) return line + ": not a dateTime";
        const int year = std::stoi(t[1]), month = std::stoi(t[2]), day = std::stoi(t[3]);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (year < 1 || month < 1 || month > 12 || day < 1 || day > days[month - 1] + (month == 2 && leap) ||
            std::stoi(t[4]) > 23 || std::stoi(t[5]) > 59 || std::stoi(t[6]) > 59)
            return line + ": no such date and time";
    }
    return "";
}
