// How long the window stays blocked by a line that never falls quiet: the
// real window picks a simulated board's port at a given baud rate and the
// operator presses Connect; the click returns when the identity exchange
// gives up. Prints one table row per run.
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "Halvero_configurator.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"

struct HalveroTestAccess
{
    static Ui_Halvero_configurator *ui(Halvero_configurator &w) { return w.ui; }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("baud"), QStringLiteral("Baud rate picked in the window."), QStringLiteral("rate"),
         QStringLiteral("115200")},
        {QStringLiteral("runs"), QStringLiteral("Connect this many times."), QStringLiteral("n"), QStringLiteral("3")},
        {QStringLiteral("no-header"), QStringLiteral("Leave out the table header.")},
    });
    parser.process(app);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    BoardFaults babbling;
    babbling.stream = true;
    Halvero_configurator window;
    window.show();
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    ui->serialBauds->setCurrentText(parser.value(QStringLiteral("baud")));

    if (!parser.isSet(QStringLiteral("no-header"))) {
        std::printf("| line | baud | blocked, worst of %s (ms) |\n|---|---|---|\n",
                    qPrintable(parser.value(QStringLiteral("runs"))));
    }
    qint64 worst = 0;
    for (int run = 0; run < parser.value(QStringLiteral("runs")).toInt(); ++run) {
        // A fresh board each time: a babbling line keeps babbling.
        SimulatedBoard board(BoardIdentity(), babbling);
        QString error;
        if (!board.start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            return 1;
        }
        qputenv("HALVERO_EXTRA_PORTS", board.devicePath().toLocal8Bit());
        ui->btnRefreshSerialPorts->click();
        QElapsedTimer blocked;
        blocked.start();
        ui->btnSerialConnect->click();
        worst = qMax(worst, blocked.elapsed());
        if (ui->btnSerialDisconnect->isEnabled())
            ui->btnSerialDisconnect->click();
    }
    std::printf("| never quiet (a byte every 2 ms) | %s | %lld |\n", qPrintable(parser.value(QStringLiteral("baud"))),
                worst);
    return 0;
}
