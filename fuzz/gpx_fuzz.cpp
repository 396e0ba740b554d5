// Fuzz target: the GPX converter over any track file. Input: 8 bytes that
// give the date in the track file's name (each byte modulo 10 a digit of
// YYYYMMDD), then the file's text. A GPX written must be well-formed XML
// (libxml2 reads it) with every value within the ranges and order of
// tests/support/gpx_ranges.h.
#include <libxml/parser.h>

#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "gpx/gpx.h"
#include "shell/status_log.h"
#include "tests/support/gpx_ranges.h"
#include "tests/support/temp_dir.h"

constexpr size_t DATE_DIGITS = 8;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < DATE_DIGITS) return 0;
    log_Clear();
    char name[32] = "YYYY-MM-DD_2359_007";
    for (size_t i = 0, at = 0; i < DATE_DIGITS; ++i, ++at) {
        if (name[at] == '-') ++at;
        name[at] = static_cast<char>('0' + data[i] % 10);
    }
    const std::string stem = path_Join(fuzz_Dir(), name);
    std::ofstream(stem + ".txt", std::ios::binary)
        .write(reinterpret_cast<const char*>(data + DATE_DIGITS), std::streamsize(size - DATE_DIGITS));

    const int result = gpx_WriteTrack((stem + ".txt").c_str());
    if (result == GPX_WRITTEN) {
        const std::string gpx = file_Contents(stem + ".gpx");
        xmlDocPtr doc = xmlReadMemory(gpx.data(), int(gpx.size()), "track.gpx", nullptr, XML_PARSE_NONET);
        if (doc == nullptr) fuzz_Fail("a GPX that is not well-formed XML", gpx);
        xmlFreeDoc(doc);
        if (const std::string fault = gpx_RangeFault(gpx); !fault.empty()) fuzz_Fail("a GPX value out of range", fault);
    } else if (result != GPX_NO_FIX) {
        fuzz_Fail("a track file in a writable folder not converted", std::to_string(result));
    }
    fuzz_EndInput();
    return 0;
}
