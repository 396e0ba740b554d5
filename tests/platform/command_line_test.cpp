// The one command-line reader of every program, on Linux and under Wine:
// each way a command line is refused and the text that says why, the order
// in which errors, --version, --help and a stray argument decide, which
// program takes which option (Qt's own passed over for Qt to read), and the
// help the Windows window shows in a box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/options/command_line.h"

namespace {

constexpr unsigned WINDOW = PROGRAM_QT | PROGRAM_QT_WINDOW | PROGRAM_SERIAL_PORT;      // zorpload
constexpr unsigned WINDOW_DEMO = PROGRAM_QT | PROGRAM_QT_WINDOW;                       // zorpload-demo
constexpr unsigned TERMINAL = PROGRAM_TERMINAL | PROGRAM_SERIAL_PORT;  // zorpload-cli
constexpr unsigned WIN32_WINDOW = 0;                                                 // zorpload.exe

struct ReadCase {
    const char* name;
    unsigned program;
    std::vector<const char*> arguments;  // after the program's name
    CommandLineAction action;
    const char* error = "";
    ProgramOptions read {};  // for a run
};

// ctest lists a case by its name alone.
void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

std::string text_Of(const char* text)
{
    return text == nullptr ? "(none)" : text;
}

const ReadCase read_cases[] = {
    {"Nothing", WINDOW, {}, COMMAND_LINE_RUN},
    {"EveryOptionOfAWindow", WINDOW, {"--output-dir", "d", "--gpx", "--port=/dev/ttyUSB1", "--trace", "t"},
     COMMAND_LINE_RUN, "", {.output_dir = "d", .port = "/dev/ttyUSB1", .trace = "t", .gpx = true}},
    {"EveryOptionOfATerminal", TERMINAL, {"--wait", "86400", "--erase", "--yes", "--gpx"}, COMMAND_LINE_RUN, "",
     {.gpx = true, .wait_seconds = 86400, .erase = true, .assume_yes = true}},
    {"LastValueWins", WIN32_WINDOW, {"--output-dir", "a", "--output-dir=b", "--trace=", "--gpx"}, COMMAND_LINE_RUN,
     "", {.output_dir = "b", .trace = "", .gpx = true}},
    {"LastWaitWinsOverARefusedOne", TERMINAL, {"--wait", "x", "--wait=5"}, COMMAND_LINE_RUN, "", {.wait_seconds = 5}},
    {"ValueThatLooksLikeAnOption", WINDOW, {"--trace", "--gpx"}, COMMAND_LINE_RUN, "", {.trace = "--gpx"}},
    {"BytesThatAreNotUtf8KeptAsGiven", WINDOW,
     {"--output-dir", "Tr\xe4" "cks\xff", "--trace=\x80.trace", "--port", "/dev/tty\xc3\x28"}, COMMAND_LINE_RUN, "",
     {.output_dir = "Tr\xe4" "cks\xff", .port = "/dev/tty\xc3\x28", .trace = "\x80.trace"}},
    {"QtsOwnOptionsLeftToQt", WINDOW_DEMO, {"-platform", "offscreen", "--qwindowtitle", "--gpx", "-reverse", "-style",
     "fusion", "--trace", "t"}, COMMAND_LINE_RUN, "", {.trace = "t"}},
    {"TwoUnknown", WINDOW, {"--bogus", "--gpx", "--bad=1"}, COMMAND_LINE_ERROR, "Unknown options: bogus, bad."},
    {"PrefixOfAName", WINDOW, {"--output", "x"}, COMMAND_LINE_ERROR, "Unknown option 'output'."},
    {"PortNotInADemo", WINDOW_DEMO, {"--port", "/dev/ttyUSB0"}, COMMAND_LINE_ERROR, "Unknown option 'port'."},
    {"WaitOnlyInATerminal", WINDOW, {"--wait", "3"}, COMMAND_LINE_ERROR, "Unknown option 'wait'."},
    {"QtsWindowOptionsNotInATerminal", TERMINAL, {"-platform", "offscreen"}, COMMAND_LINE_ERROR,
     "Unknown options: p, l, a, t, f, o, r, m."},
    {"QtsOptionsNotOnWindows", WIN32_WINDOW, {"--platform", "windows"}, COMMAND_LINE_ERROR,
     "Unknown option 'platform'."},
    {"HelpAllOnlyInQt", WIN32_WINDOW, {"--help-all"}, COMMAND_LINE_ERROR, "Unknown option 'help-all'."},
    {"MissingValue", WINDOW, {"--gpx", "--trace"}, COMMAND_LINE_ERROR, "Missing value after '--trace'."},
    {"MissingValueBeforeUnknown", WINDOW, {"--bogus", "--output-dir"}, COMMAND_LINE_ERROR,
     "Missing value after '--output-dir'."},
    {"ValueOfASwitch", WINDOW, {"--gpx=yes"}, COMMAND_LINE_ERROR, "Unexpected value after '--gpx'."},
    {"ValueOfALetter", WINDOW, {"-h=1"}, COMMAND_LINE_ERROR, "Unexpected value after '-h'."},
    {"StrayArgument", WINDOW, {"tracks"}, COMMAND_LINE_ERROR, "Unexpected argument 'tracks'."},
    {"DashAloneIsAnArgument", WINDOW, {"-"}, COMMAND_LINE_ERROR, "Unexpected argument '-'."},
    {"StrayAfterDoubleDash", WIN32_WINDOW, {"--", "--gpx"}, COMMAND_LINE_ERROR, "Unexpected argument '--gpx'."},
    {"WaitNotANumber", TERMINAL, {"--wait=3s"}, COMMAND_LINE_ERROR, "--wait takes a number of seconds from 0 to 86400"},
    {"ErrorBeforeHelp", WINDOW, {"--help", "--bogus"}, COMMAND_LINE_ERROR, "Unknown option 'bogus'."},
    {"VersionBeforeHelp", WINDOW, {"-h", "--version"}, COMMAND_LINE_VERSION},
    {"HelpBeforeHelpAll", WINDOW, {"--help-all", "-h"}, COMMAND_LINE_HELP},
    {"HelpAll", WINDOW, {"--help-all"}, COMMAND_LINE_HELP_ALL},
    {"HelpBeforeAStray", WIN32_WINDOW, {"tracks", "-?"}, COMMAND_LINE_HELP},
    {"StrayBeforeARefusedWait", TERMINAL, {"--wait", "x", "tracks"}, COMMAND_LINE_ERROR,
     "Unexpected argument 'tracks'."},
    {"HelpBeforeARefusedWait", TERMINAL, {"--wait", "x", "--help"}, COMMAND_LINE_HELP},
    {"GroupedLetters", TERMINAL, {"-hv"}, COMMAND_LINE_VERSION},
};

struct Read : ::testing::TestWithParam<ReadCase> {};
INSTANTIATE_TEST_SUITE_P(CommandLine, Read, ::testing::ValuesIn(read_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Read, DecidesAndReadsAsItsTableSays)
{
    const ReadCase& c = GetParam();
    std::vector<char*> argv {const_cast<char*>("zorpload")};
    for (const char* argument : c.arguments) argv.push_back(const_cast<char*>(argument));
    ProgramOptions options;
    char text[COMMAND_LINE_TEXT_SIZE];
    ASSERT_EQ(cmdline_Read(int(argv.size()), argv.data(), c.program, options, text), c.action) << text;
    EXPECT_STREQ(text, c.error);
    if (c.action != COMMAND_LINE_RUN) return;
    EXPECT_EQ(text_Of(options.output_dir), text_Of(c.read.output_dir));
    EXPECT_EQ(text_Of(options.port), text_Of(c.read.port));
    EXPECT_EQ(text_Of(options.trace), text_Of(c.read.trace));
    EXPECT_EQ(options.gpx, c.read.gpx);
    EXPECT_EQ(options.wait_seconds, c.read.wait_seconds);
    EXPECT_EQ(options.erase, c.read.erase);
    EXPECT_EQ(options.assume_yes, c.read.assume_yes);
}

// The Windows window shows its help in a message box, each text on a line of
// its own under its names; no terminal prints it for a test to read.
TEST(Help, Win32WindowListsItsOptionsInABox)
{
    char text[COMMAND_LINE_TEXT_SIZE];
    cmdline_Help("zorpload.exe", "One line.", WIN32_WINDOW, false, HELP_LINES, text);
    EXPECT_EQ(std::string(text),
              "Usage: zorpload.exe [options]\nOne line.\n\nOptions:\n"
              "-h, --help\n    Displays help on commandline options.\n"
              "-v, --version\n    Displays version information.\n"
              "--output-dir <dir>\n    Save the track files in <dir> (made if missing) instead of the program's folder "
              "or Documents/ZorpLoad.\n"
              "--gpx\n    Also save each track as GPX (<name>.gpx beside <name>.txt), and every track file in the "
              "output folder that has no GPX yet.\n"
              "--trace <file>\n    Record every byte the adapter carries into <file>, to attach to a problem report "
              "(at most 64 MiB).\n");
}

}  // namespace
