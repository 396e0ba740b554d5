// zorpload-cli: the download in a terminal, over a real FT232R adapter
// through Qt Serial Port. zorpload-cli-demo: the same on the simulated
// logger in real time (built from this file with ZORP_SIMULATED_LOGGER).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/options/program_options.h"
#include "platform/terminal/terminal_front.h"

#ifdef ZORP_SIMULATED_LOGGER
#include "sim/sim.h"
#else
#include "platform/qt_serial/d2xx_qtserial.h"
#endif

#ifdef ZORP_SIMULATED_LOGGER
constexpr char DESCRIPTION[] = "The ZorpLoad download in a terminal, on a simulated logger: three tracks, downloaded "
                               "in real time.";
constexpr OptionSet OPTION_SET = OPTIONS_SIMULATED;
#else
constexpr char DESCRIPTION[] = "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter, in a "
                               "terminal.\nExit codes: 0 every track saved or already there, 1 download error, "
                               "2 no adapter, 3 some tracks could not be saved.";
constexpr OptionSet OPTION_SET = OPTIONS_WITH_PORT;
#endif

static void fail_Usage(const char* message)
{
    fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), message);
    std::exit(EXIT_FAILURE);
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
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
    const ProgramOptions options = options_Process(parser, DESCRIPTION, OPTION_SET);

    bool number = false;
    const uint32_t wait_seconds = parser.value(wait).toUInt(&number);
    if (!number || wait_seconds > 86400u) fail_Usage("--wait takes a number of seconds from 0 to 86400");
    TerminalSettings settings {wait_seconds * 1000u, parser.isSet(erase), parser.isSet(yes)};
    if (settings.erase && !settings.assume_yes && !terminal_CanAsk())
        fail_Usage("--erase without a terminal to ask on needs --yes");

#ifdef ZORP_SIMULATED_LOGGER
    sim_SetUpDemo();
#else
    qtserial_UsePort(options.port.constData());
#endif
    return terminal_Run(options, settings);
}
