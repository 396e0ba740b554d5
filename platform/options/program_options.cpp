#include "platform/options/program_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "link/wire_trace.h"
#include "platform/options/option_texts.h"
#include "shell/shell.h"
#include "shell/status_log.h"

ProgramOptions options_Process(QCommandLineParser& parser, const char* description, OptionSet set)
{
    // The names --version prints; a window program sets its own class name
    // once the command line is read.
    QCoreApplication::setApplicationName(QStringLiteral("ZorpLoad"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));

    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption output_dir(QStringLiteral("output-dir"),
                                        QString::fromLatin1(OUTPUT_DIR_HELP),
                                        QStringLiteral("dir"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Use the serial device <device> (such as /dev/ttyUSB0) instead of "
                                                 "looking for the FT232R adapter by its USB description."),
                                  QStringLiteral("device"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QString::asprintf(TRACE_HELP_FORMAT, static_cast<int>(TRACE_SIZE_LIMIT >> 20)),
                                   QStringLiteral("file"));
    const QCommandLineOption gpx(QStringLiteral("gpx"),
                                 QString::fromLatin1(GPX_HELP));
    parser.addOption(output_dir);
    parser.addOption(gpx);
    if (set == OPTIONS_WITH_PORT) parser.addOption(port);
    parser.addOption(trace);

    parser.process(*QCoreApplication::instance());
    if (!parser.positionalArguments().isEmpty()) {
        fprintf(stderr, "%s: unexpected argument '%s'\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(parser.positionalArguments().first()));
        std::exit(EXIT_FAILURE);
    }

    ProgramOptions options;
    options.output_dir = parser.value(output_dir).toLocal8Bit();
    options.gpx = parser.isSet(gpx);
    if (set == OPTIONS_WITH_PORT) options.port = parser.value(port).toLocal8Bit();
    options.trace = parser.value(trace).toLocal8Bit();
    return options;
}

int options_Apply(const ProgramOptions& options)
{
    if (!options.port.isEmpty()) log_AddLinef("Serial port: %s (--port)", options.port.constData());
    const QByteArray documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toLocal8Bit();
    return shell_ApplyStartOptions(options.trace.constData(), options.output_dir.constData(), documents.constData(),
                                   options.gpx);
}
