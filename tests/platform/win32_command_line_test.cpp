// The Win32 programs' command line, beyond what the Wine window test starts
// zorpload.exe with: every way a command line is refused and the text that
// says why, the Linux-only --port refused, --help and --version deciding in
// the order the Qt programs use, and a repeated option's last value winning.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/win32/command_line.h"

namespace {

struct Case {
    const char* what;
    std::vector<const char*> arguments;  // after the program's name
    CommandLineAction action;
    const char* error_or_output_dir;  // the error text; for a run, the folder read (null: none)
    const char* trace;
    bool gpx;
};

const Case cases[] = {
    {"nothing", {}, COMMAND_LINE_RUN, nullptr, nullptr, false},
    {"gpx alone", {"--gpx"}, COMMAND_LINE_RUN, nullptr, nullptr, true},
    {"last value wins", {"--output-dir", "a", "--output-dir=b", "--trace=", "--gpx"}, COMMAND_LINE_RUN, "b", "", true},
    {"value that looks like an option", {"--trace", "--gpx"}, COMMAND_LINE_RUN, nullptr, "--gpx", false},
    {"unknown", {"--gpx", "--bogus"}, COMMAND_LINE_ERROR, "Unknown option 'bogus'.", nullptr, false},
    {"prefix of a name", {"--output", "x"}, COMMAND_LINE_ERROR, "Unknown option 'output'.", nullptr, false},
    {"port is Linux's", {"--port=COM3"}, COMMAND_LINE_ERROR, "Unknown option 'port'.", nullptr, false},
    {"single dash", {"-gpx"}, COMMAND_LINE_ERROR, "Unknown option 'gpx'.", nullptr, false},
    {"missing value", {"--gpx", "--trace"}, COMMAND_LINE_ERROR, "Missing value after '--trace'.", nullptr, false},
    {"value of a switch", {"--gpx=yes"}, COMMAND_LINE_ERROR, "Unexpected value after '--gpx'.", nullptr, false},
    {"stray argument", {"tracks"}, COMMAND_LINE_ERROR, "Unexpected argument 'tracks'.", nullptr, false},
    {"stray after --", {"--", "--gpx"}, COMMAND_LINE_ERROR, "Unexpected argument '--gpx'.", nullptr, false},
    {"error before help", {"--help", "--bogus"}, COMMAND_LINE_ERROR, "Unknown option 'bogus'.", nullptr, false},
    {"help before a stray", {"tracks", "-?"}, COMMAND_LINE_HELP, nullptr, nullptr, false},
    {"version before help", {"-h", "--version"}, COMMAND_LINE_VERSION, nullptr, nullptr, false},
    {"short version", {"-v"}, COMMAND_LINE_VERSION, nullptr, nullptr, false},
};

std::string text_Of(const char* text)
{
    return text == nullptr ? "(none)" : text;
}

TEST(Win32CommandLine, ReadAsTheQtProgramsReadIt)
{
    for (const Case& c : cases) {
        std::vector<char*> argv {const_cast<char*>("zorpload.exe")};
        for (const char* argument : c.arguments) argv.push_back(const_cast<char*>(argument));
        CommandLine options;
        char error[COMMAND_LINE_TEXT_SIZE];
        const CommandLineAction action = cmdline_Read(int(argv.size()), argv.data(), options, error);
        EXPECT_EQ(action, c.action) << c.what;
        if (c.action == COMMAND_LINE_ERROR) {
            EXPECT_STREQ(error, c.error_or_output_dir) << c.what;
        } else if (c.action == COMMAND_LINE_RUN) {
            EXPECT_EQ(text_Of(options.output_dir), text_Of(c.error_or_output_dir)) << c.what;
            EXPECT_EQ(text_Of(options.trace), text_Of(c.trace)) << c.what;
            EXPECT_EQ(options.gpx, c.gpx) << c.what;
        }
    }
}

}  // namespace
