// GPX 1.1's value ranges, checked on the converter's output: each trkpt
// line with its elements in the schema's order, latitude -90..90, longitude
// -180 <= lon < 180, a time that is a valid xsd:dateTime in UTC with a year
// of four digits (0001..9999), decimals for ele and hdop, a whole number for
// sat, and one of the schema's fix types.
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
        R"x((?:<fix>(none|2d|3d|dgps|pps)</fix>)?(?:<sat>([0-9]+)</sat>)?(?:<hdop>([^<]*)</hdop>)?</trkpt>)x");
    static const std::regex decimal(R"x([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+))x");
    static const std::regex date_time(R"x(([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(\.[0-9]+)?Z)x");
    std::istringstream in(gpx);
    for (std::string line; std::getline(in, line);) {
        if (line.find("<trkpt") == std::string::npos) continue;
        std::smatch m;
        if (!std::regex_match(line, m, point)) return line + ": not a trkpt of the schema's form";
        for (int group : {1, 2, 3, 7})
            if (m[group].matched && !std::regex_match(m[group].str(), decimal)) return line + ": not a decimal";
        const double lat = std::strtod(m[1].str().c_str(), nullptr), lon = std::strtod(m[2].str().c_str(), nullptr);
        if (lat < -90 || lat > 90) return line + ": latitude out of range";
        if (lon < -180 || lon >= 180) return line + ": longitude out of range";
        if (!m[4].matched) continue;
        std::smatch t;
        const std::string time = m[4].str();
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
