// The terminal programs' own options, declared on the parser that reads the
// shared ones.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/terminal/terminal_front.h"

static void fail_Usage(const char* message)
{
    fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), message);
    std::exit(EXIT_FAILURE);
}

TerminalSettings terminal_Options(QCommandLineParser& parser, const char* description, OptionSet set,
                                  ProgramOptions* options)
{
    constexpr uint32_t WAIT_SECONDS_MAX = 86400;
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("Look for a missing adapter for up to <seconds> (default 0)."),
                                  QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption erase(QStringLiteral("erase"),
                                   QStringLiteral("Erase the logger once every track is saved (asks first)."));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Answer yes instead of asking; needed for --erase without a "
                                                "terminal."));
    parser.addOption(wait);
    parser.addOption(erase);
    parser.addOption(yes);
    *options = options_Process(parser, description, set);

    bool number = false;
    const uint32_t wait_seconds = parser.value(wait).toUInt(&number);
    if (!number || wait_seconds > WAIT_SECONDS_MAX) fail_Usage("--wait takes a number of seconds from 0 to 86400");
    const TerminalSettings settings {wait_seconds * 1000u, parser.isSet(erase), parser.isSet(yes)};
    if (settings.erase && !settings.assume_yes && !terminal_CanAsk())
        fail_Usage("--erase without a terminal to ask on needs --yes");
    return settings;
}
