// halvero-boardsim: a board of either family on a pseudo-terminal, for trying
// the configurator without hardware. The first line of stdout is the device
// to open; the program runs until SIGINT or SIGTERM.
#include "halvero_version.h"
#include "simulatedboard.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

bool parseHex(const QString &text, int maxDigits, uint32_t *out)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > maxDigits)
        return false;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (ok)
        *out = v;
    return ok;
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "halvero-boardsim: %s\n", qPrintable(message));
    std::exit(2);
}

int intOption(const QCommandLineParser &p, const QString &name, int min)
{
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min)
        fail(QStringLiteral("--%1 needs a whole number of at least %2").arg(name).arg(min));
    return v;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread exists, so every thread inherits the mask and
    // the signals wait for sigwait() below instead of killing the process.
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGHUP);
    sigaddset(&watched, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvero-boardsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALVERO_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Simulated parachute-system board on a pseudo-terminal.\n"
                       "Prints the device path as the first line of stdout and serves until SIGINT/SIGTERM.\n"
                       "SIGUSR1 plugs the board in again after --unplug-after pulled it (new path on stdout)."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {QStringLiteral("product"), QStringLiteral("Product code: 08A3, 08A2 or 04F2 (default 08A3)."),
         QStringLiteral("code"), QStringLiteral("08A3")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version X.Y (default 1.3, or 0.1 for 04F2)."),
         QStringLiteral("X.Y")},
        {QStringLiteral("serial"),
         QStringLiteral("96-bit serial number as the configurator shows it: 24 hex digits, optionally after 0x."),
         QStringLiteral("hex24")},
        {QStringLiteral("revid"), QStringLiteral("Chip revision identifier, hex."), QStringLiteral("hex")},
        {QStringLiteral("devid"), QStringLiteral("Chip device identifier, hex."), QStringLiteral("hex")},
        {QStringLiteral("link"), QStringLiteral("Also make a symlink to the device at this path."),
         QStringLiteral("path")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("delay"), QStringLiteral("Wait this long before each reply."), QStringLiteral("ms")},
        {QStringLiteral("split"), QStringLiteral("Send each reply in two halves this far apart."),
         QStringLiteral("ms")},
        {QStringLiteral("garbage"), QStringLiteral("Answer random bytes.")},
        {QStringLiteral("stream"), QStringLiteral("On a request, start sending bytes without ever pausing.")},
        {QStringLiteral("unplug-after"), QStringLiteral("Pull the cable after this many requests."),
         QStringLiteral("n")},
        {QStringLiteral("uart"),
         QStringLiteral("Behave as a UART at this baud rate: paced replies, silent at another speed."),
         QStringLiteral("baud")},
        {QStringLiteral("wrong-product"), QStringLiteral("Replies carry product code 0999.")},
        {QStringLiteral("wrong-firmware"), QStringLiteral("Replies carry firmware 9.9.")},
        {QStringLiteral("ignore-writes"),
         QStringLiteral(
             "Store no configuration write or set-defaults; answer each with the configuration still stored.")},
        {QStringLiteral("quiet"), QStringLiteral("No log on stderr.")},
    });
    p.process(app);

    const QString product = p.value(QStringLiteral("product")).toUpper();
    if (product != QLatin1String("08A3") && product != QLatin1String("08A2") && product != QLatin1String("04F2"))
        fail(QStringLiteral("unknown product %1 (08A3, 08A2 or 04F2)").arg(product));
    BoardIdentity id = BoardIdentity::forProduct(uint16_t(product.toUInt(nullptr, 16)));
    if (p.isSet(QStringLiteral("firmware"))) {
        const QStringList parts = p.value(QStringLiteral("firmware")).split(QLatin1Char('.'));
        bool okMajor = false, okMinor = false;
        const uint major = parts.value(0).toUInt(&okMajor);
        const uint minor = parts.value(1).toUInt(&okMinor);
        if (parts.size() != 2 || !okMajor || !okMinor || major > 255 || minor > 255)
            fail(QStringLiteral("--firmware wants X.Y, each 0..255"));
        id.fwMajor = uint8_t(major);
        id.fwMinor = uint8_t(minor);
    }
    if (p.isSet(QStringLiteral("serial")) && !id.setSerial(p.value(QStringLiteral("serial"))))
        fail(QStringLiteral("--serial wants 24 hex digits, as the configurator shows the serial"));
    if (p.isSet(QStringLiteral("revid")) && !parseHex(p.value(QStringLiteral("revid")), 8, &id.revId))
        fail(QStringLiteral("--revid wants up to 8 hex digits"));
    if (p.isSet(QStringLiteral("devid")) && !parseHex(p.value(QStringLiteral("devid")), 8, &id.devId))
        fail(QStringLiteral("--devid wants up to 8 hex digits"));

    BoardFaults faults;
    faults.silent = p.isSet(QStringLiteral("silent"));
    faults.garbage = p.isSet(QStringLiteral("garbage"));
    faults.stream = p.isSet(QStringLiteral("stream"));
    faults.wrongProduct = p.isSet(QStringLiteral("wrong-product"));
    faults.wrongFirmware = p.isSet(QStringLiteral("wrong-firmware"));
    faults.ignoreWrites = p.isSet(QStringLiteral("ignore-writes"));
    if (p.isSet(QStringLiteral("delay")))
        faults.delayMs = intOption(p, QStringLiteral("delay"), 0);
    if (p.isSet(QStringLiteral("split")))
        faults.splitMs = intOption(p, QStringLiteral("split"), 0);
    if (p.isSet(QStringLiteral("unplug-after")))
        faults.unplugAfter = intOption(p, QStringLiteral("unplug-after"), 0);
    if (p.isSet(QStringLiteral("uart")))
        faults.uartBaud = intOption(p, QStringLiteral("uart"), 1);
    const bool quiet = p.isSet(QStringLiteral("quiet"));

    SimulatedBoard board(id, faults);
    board.setLogToStderr(!quiet);
    QString error;
    if (!board.start(&error))
        fail(error);
    std::printf("%s\n", qPrintable(board.devicePath()));
    std::fflush(stdout);

    const QString link = p.value(QStringLiteral("link"));
    if (!link.isEmpty() && !board.createLink(link)) {
        board.stop();
        fail(QStringLiteral("cannot create the link %1").arg(link));
    }
    if (!quiet)
        std::fprintf(stderr, "halvero-boardsim: %04X fw %u.%u on %s%s\n", id.productCode, unsigned(id.fwMajor),
                     unsigned(id.fwMinor), qPrintable(board.devicePath()),
                     link.isEmpty() ? "" : qPrintable(QStringLiteral(" (link %1)").arg(link)));

    for (;;) {
        int sig = 0;
        if (sigwait(&watched, &sig) != 0)
            continue;
        if (sig != SIGUSR1)
            break;
        if (!board.isRunning()) {
            board.replug();
            std::printf("%s\n", qPrintable(board.devicePath()));
            std::fflush(stdout);
        }
    }
    board.stop(); // also removes the link
    return 0;
}
