// The live plot: what its ring keeps, gaps, and that every series and
// threshold shows up in its pane at 0, 1 and a full ring of samples, also
// when a pane's values never change. The status recorder: its CSV under a
// German locale, and how it ends on a failed write.
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <cmath>

#include "liveplot.h"
#include "parachuteradiocomm.h"
#include "statusrecorder.h"

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Sample i of a board: the switch board's pulse 1000 + i (none when
// `present` is false), the trigger board's six readings apart from each
// other; `vary` adds a slow swing to every value.
void setStatus(parachuteRadioComm &record, int i, bool vary = false, bool present = true)
{
    const float swing = vary ? float(std::sin(i / 40.0)) : 0.0f;
    record.triggerPresent = present;
    record.triggerValue = uint16_t(1000 + (vary ? std::lround(swing * 300) : i));
    record.triggerFrequency = uint16_t(50 + swing * 5);
    const float readings[] = {12 + swing, 3 + swing, 2 + swing / 2, 5 + swing / 2, 9 + swing / 2, 30 + swing};
    float *fields[] = {&record.batteryVoltage, &record.triggerVoltage, &record.fuseProbeCurrent,
                       &record.fuseCurrent, &record.fusePeakCurrent, &record.temperature};
    for (int k = 0; k < 6; ++k)
        *fields[k] = readings[k];
}

// Some pixel of `area` has this colour, or nearly (where a curve covers it whole).
bool shows(const QImage &image, const QRectF &area, const QColor &color)
{
    const QRect rect = area.toAlignedRect() & image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green())
                    + std::abs(pixel.blue() - color.blue()) <= 24)
                return true;
        }
    }
    return false;
}

const QDateTime sampleTime(QDate(2026, 5, 4), QTime(10, 22, 3, 5), QTimeZone(7200));

} // namespace

class TestPlot : public QObject
{
    Q_OBJECT

private slots:
    void ringKeepsTheNewest_data();
    void ringKeepsTheNewest();
    void familySwitchClears();
    void switchBoardGapsWithoutPulse();
    void render_data();
    void render();
    void csv_data();
    void csv();
    void failedWriteStops_data();
    void failedWriteStops();
    void fifoWrittenInPlace();
};

void TestPlot::ringKeepsTheNewest_data()
{
    QTest::addColumn<int>("added");
    QTest::newRow("part full") << 3;
    QTest::newRow("just full") << 5;
    QTest::newRow("wrapped twice") << 12;
}

void TestPlot::ringKeepsTheNewest()
{
    QFETCH(int, added);
    LivePlot plot(nullptr, 5);
    plot.setFamily(BoardFamily::Switch08A3);
    parachuteRadioComm record(QString(), 0);
    for (int i = 0; i < added; ++i) {
        setStatus(record, i);
        plot.addStatus(record, 300 * i);
    }
    const int kept = std::min(added, 5);
    QCOMPARE(plot.sampleCount(), kept);
    for (int j = 0; j < kept; ++j) {
        const int i = added - kept + j;
        QCOMPARE(plot.sampleTime(j), qint64(300 * i));
        QCOMPARE(plot.value(0, j), 1000.0 + i);
    }
}

void TestPlot::familySwitchClears()
{
    LivePlot plot;
    parachuteRadioComm record(QString(), 0);
    setStatus(record, 0);
    plot.setFamily(BoardFamily::Switch08A3);
    plot.addStatus(record, 0);
    plot.setFamily(BoardFamily::Trigger04F2);
    QCOMPARE(plot.sampleCount(), 0);
    QCOMPARE(plot.seriesCount(), 6);
    plot.addStatus(record, 300);
    QCOMPARE(plot.value(5, 0), 30.0); // the temperature
    plot.setFamily(BoardFamily::Trigger04F2);
    QCOMPARE(plot.sampleCount(), 0);
}

void TestPlot::switchBoardGapsWithoutPulse()
{
    LivePlot plot;
    plot.setFamily(BoardFamily::Switch08A3);
    parachuteRadioComm record(QString(), 0);
    for (int i = 0; i < 3; ++i) {
        setStatus(record, i, false, i != 1);
        plot.addStatus(record, 300 * i);
    }
    QCOMPARE(plot.sampleCount(), 3);
    QCOMPARE(plot.value(0, 0), 1000.0);
    QVERIFY(std::isnan(plot.value(0, 1)) && std::isnan(plot.value(1, 1)));
    QCOMPARE(plot.value(1, 2), 50.0);
}

void TestPlot::render_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<int>("samples");
    QTest::addColumn<bool>("vary");
    for (const BoardFamily family : {BoardFamily::Switch08A3, BoardFamily::Trigger04F2}) {
        const QByteArray name = Protocol::familyName(family).toLatin1();
        QTest::addRow("%s empty", name.constData()) << family << 0 << false;
        QTest::addRow("%s one sample", name.constData()) << family << 1 << false;
        QTest::addRow("%s full ring, steady", name.constData()) << family << LivePlot::defaultCapacity << false;
        QTest::addRow("%s full ring, varying", name.constData()) << family << LivePlot::defaultCapacity << true;
    }
}

void TestPlot::render()
{
    QFETCH(BoardFamily, family);
    QFETCH(int, samples);
    QFETCH(bool, vary);
    LivePlot plot;
    plot.setFamily(family);
    plot.setThresholds(1600, 1400); // above every pulse of the steady rows
    plot.resize(plot.sizeHint());
    parachuteRadioComm record(QString(), 0);
    for (int i = 0; i < samples; ++i) {
        setStatus(record, vary ? i : 0, vary);
        plot.addStatus(record, 300 * i);
    }
    QImage image(plot.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    plot.render(&image);
    QVERIFY2(!shows(image, image.rect(), Qt::magenta), "part of the widget left unpainted");
    for (int s = 0; s < plot.seriesCount() && samples > 0; ++s)
        QVERIFY2(shows(image, plot.paneArea(plot.seriesPane(s)), plot.seriesColor(s)), qPrintable(plot.seriesName(s)));
    if (family == BoardFamily::Switch08A3) {
        QVERIFY(shows(image, plot.paneArea(0), LivePlot::highThresholdColor()));
        QVERIFY(shows(image, plot.paneArea(0), LivePlot::lowThresholdColor()));
    }
}

void TestPlot::csv_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("08A3 with pulse") << BoardFamily::Switch08A3 << true
                                     << QByteArray("time,switch,triggerPresent,triggerValue_us,triggerFrequency_Hz\n"
                                                   "2026-05-04T08:22:03.005Z,0,1,1000,50\n");
    QTest::newRow("08A3 in failsafe") << BoardFamily::Switch08A3 << false
                                      << QByteArray("time,switch,triggerPresent,triggerValue_us,triggerFrequency_Hz\n"
                                                    "2026-05-04T08:22:03.005Z,1,0,,\n");
    QTest::newRow("04F2") << BoardFamily::Trigger04F2 << true
                          << QByteArray("time,batteryVoltage_V,triggerVoltage_V,fuseProbeCurrent_A,fuseCurrent_A,"
                                        "fusePeakCurrent_A,temperature_C\n"
                                        "2026-05-04T08:22:03.005Z,12.4,3,2,5,9,-2.5\n");
}

void TestPlot::csv()
{
    QFETCH(BoardFamily, family);
    QFETCH(bool, present);
    QFETCH(QByteArray, expected);
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(previous); });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("status.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(500, 'x')) == 500);
    old.close();

    parachuteRadioComm record(QString(), 0);
    setStatus(record, 0, false, present);
    record.failsafeActive = !present;
    record.batteryVoltage = 12.4f;
    record.temperature = -2.5f;
    StatusRecorder recorder;
    QString error;
    QVERIFY2(recorder.start(path, family, &error), qPrintable(error));
    QVERIFY2(recorder.record(record, sampleTime, &error), qPrintable(error));
    QCOMPARE(recorder.rows(), qint64(1));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), expected);
}

void TestPlot::failedWriteStops_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("sizeLimit"); // bytes; 0 for none
    QTest::addColumn<int>("rowsWritten");  // -1: the header already fails
    QTest::newRow("disk full") << QStringLiteral("/dev/full") << qint64(0) << -1;
    QTest::newRow("file-size limit") << QStringLiteral("limited.csv") << qint64(100) << 1;
    QTest::newRow("FIFO nobody reads") << QStringLiteral("fifo") << qint64(0) << -1;
}

void TestPlot::failedWriteStops()
{
#if !defined(Q_OS_UNIX)
    QSKIP("needs /dev/full, FIFOs and file-size limits");
#else
    QFETCH(QString, target);
    QFETCH(qint64, sizeLimit);
    QFETCH(int, rowsWritten);
    QTemporaryDir dir;
    const QString path = target.startsWith(QLatin1Char('/')) ? target : dir.filePath(target);
    if (target == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    StatusRecorder recorder;
    parachuteRadioComm record(QString(), 0);
    setStatus(record, 0);
    // The limit holds only while recording: the test's own output may go
    // to a file too.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    if (sizeLimit > 0)
        limited.rlim_cur = rlim_t(sizeLimit);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString error;
    bool ok = recorder.start(path, BoardFamily::Switch08A3, &error);
    for (int row = 0; ok && row < 10; ++row)
        ok = recorder.record(record, sampleTime, &error);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    QCOMPARE(recorder.rows(), qint64(qMax(rowsWritten, 0)));
    QVERIFY(!recorder.isRecording());
    QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY(!recorder.record(record, sampleTime, &error));
    if (rowsWritten >= 0) { // only whole rows are left in the file
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), StatusRecorder::header(BoardFamily::Switch08A3)
                                     + StatusRecorder::row(BoardFamily::Switch08A3, record, sampleTime));
    }
#endif
}

void TestPlot::fifoWrittenInPlace()
{
#if !defined(Q_OS_UNIX)
    QSKIP("needs FIFOs");
#else
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const auto closeReader = qScopeGuard([&] { ::close(reader); });
    StatusRecorder recorder;
    parachuteRadioComm record(QString(), 0);
    setStatus(record, 0);
    QString error;
    QVERIFY2(recorder.start(QFile::decodeName(path), BoardFamily::Trigger04F2, &error), qPrintable(error));
    QVERIFY2(recorder.record(record, sampleTime, &error), qPrintable(error));
    char buffer[512];
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    QCOMPARE(QByteArray(buffer, int(qMax<ssize_t>(got, 0))),
             StatusRecorder::header(BoardFamily::Trigger04F2)
                 + StatusRecorder::row(BoardFamily::Trigger04F2, record, sampleTime));
    struct stat info;
    QVERIFY(::stat(path.constData(), &info) == 0 && S_ISFIFO(info.st_mode));
#endif
}

QTEST_MAIN(TestPlot)
#include "tst_plot.moc"
