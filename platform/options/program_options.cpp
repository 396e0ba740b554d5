#include "platform/options/program_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "link/wire_trace.h"
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
                                        QStringLiteral("Save the track files in <dir> (made if missing) instead of "
                                                       "the program's folder or Documents/ZorpLoad."),
                                        QStringLiteral("dir"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Use the serial device <device> (such as /dev/ttyUSB0) instead of "
                                                 "looking for the FT232R adapter by its USB description."),
                                  QStringLiteral("device"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Record every byte the adapter carries into <file>, to attach to a "
                                                  "problem report (at most %1 MiB).")
                                       .arg(TRACE_SIZE_LIMIT >> 20),
                                   QStringLiteral("file"));
    const QCommandLineOption gpx(QStringLiteral("gpx"),
                                 QStringLiteral("Also save each track as GPX (<name>.gpx beside <name>.txt), and "
                                                "every track file in the output folder that has no GPX yet."));
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
    if (!options.trace.isEmpty()) shell_StartTrace(options.trace.constData());
    const QByteArray documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toLocal8Bit();
    const int chosen = shell_ChooseOutputDir(options.output_dir.constData(), documents.constData());
    if (chosen == 0 && options.gpx) shell_SetGpx(true);
    return chosen;
}
