// Parsing the configurator's command line, before and after QApplication.
#include "startoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

#include "halvero_version.h"

namespace {

const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Print this help and exit."));
const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("Print the version and exit."));
const QCommandLineOption debugOption(QStringLiteral("debug"),
                                     QStringLiteral("Print the exchange log to the terminal."));

// One parser for both passes. Long options only, so that Qt's single-dash
// words (-reverse, -style) are never read as bundles of letters (-r -e -v ...).
void setUp(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("halvero-configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALVERO_VERSION));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Configure and monitor Halvero parachute-system boards (08A3, 08A2, 04F2)\n"
                       "over a USB serial port. See halvero-configurator(1) for the environment\n"
                       "(HALVERO_EXTRA_PORTS, HALVERO_HISTORY, HALVERO_HISTORY_FILE) and Qt's own options."));
    parser.addOptions({helpOption, versionOption, debugOption});
}

} // namespace

StartOptions answerWithoutDisplay(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    setUp(parser);
    // Unknown options are Qt's or mistakes: readStartOptions() tells which.
    parser.parse(arguments);

    StartOptions options;
    if (parser.isSet(helpOption)) {
        // Without an application object Qt cannot name the program itself.
        const QString help =
            parser.helpText().replace(QLatin1String("<executable_name>"), QCoreApplication::applicationName());
        std::fputs(qPrintable(help), stdout);
        options.exitCode = 0;
    } else if (parser.isSet(versionOption)) {
        std::printf("halvero-configurator %s\n", HALVERO_VERSION);
        options.exitCode = 0;
    }
    return options;
}

StartOptions readStartOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    setUp(parser);
    StartOptions options;
    QString error;
    if (!parser.parse(app.arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        error = unknown.isEmpty() ? parser.errorText()
                                  : QStringLiteral("unknown option '%1%2'.")
                                        .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                                             unknown.first());
    } else if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "halvero-configurator: %s --help lists the options.\n", qPrintable(error));
        options.exitCode = 1;
    }
    options.debug = parser.isSet(debugOption);
    return options;
}

void applyLogging(const StartOptions &options)
{
    if (options.debug)
        QLoggingCategory::setFilterRules(QStringLiteral("halvero.*.debug=true"));
    else if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("halvero.*.debug=false"));
}
