// The live plot: what its ring keeps of every series, gaps where a flag
// marks a value stale, the thresholds a configuration gives, and that every
// series and threshold shows up in its pane at 0, 1 and a full ring of
// samples, also when a pane's values never change; each for every family.
// The status recorder: its CSV under a German locale, and how it ends on a
// failed write.
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <cmath>

#include "boardconfig.h"
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

// Sample i of a family: its n-th plotted series (from 0) reads 10 (n + 1)
// + i, or with `vary` a slow swing around 10 (n + 1); every flag is on, so
// that no value is stale.
void setSample(parachuteRadioComm &record, BoardFamily family, int i, bool vary = false)
{
    int n = 0;
    for (const StatusField &field : Protocol::familyTable(family).status) {
        if (field.flag) {
            record.setStatusValue(field, 1);
        } else if (field.plotPane >= 0) {
            const float base = 10.0f * float(++n);
            record.setStatusValue(field, vary ? base + float(5 * std::sin(i / 40.0)) : base + float(i));
        }
    }
}

void addFamilyRows()
{
    QTest::addColumn<BoardFamily>("family");
    for (const BoardFamily family : Protocol::knownFamilies())
        QTest::newRow(qPrintable(Protocol::familyName(family))) << family;
}

// Some pixel of `area` has this colour, or nearly (where a curve covers it whole).
bool shows(const QImage &image, const QRectF &area, const QColor &color)
{
    const QRect rect = area.toAlignedRect() & image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green())
                    + std::abs(pixel.blue() - color.blue())
                <= 24)
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
    void familySwitchClears_data();
    void familySwitchClears();
    void staleValuesGiveGaps_data();
    void staleValuesGiveGaps();
    void thresholdsFromConfig_data();
    void thresholdsFromConfig();
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
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<int>("added");
    for (const BoardFamily family : Protocol::knownFamilies()) {
        const QByteArray name = Protocol::familyName(family).toLatin1();
        QTest::addRow("%s part full", name.constData()) << family << 3;
        QTest::addRow("%s just full", name.constData()) << family << 5;
        QTest::addRow("%s wrapped twice", name.constData()) << family << 12;
    }
}

void TestPlot::ringKeepsTheNewest()
{
    QFETCH(BoardFamily, family);
    QFETCH(int, added);
    LivePlot plot(nullptr, 5);
    plot.setFamily(family);
    QVERIFY(plot.seriesCount() > 0);
    parachuteRadioComm record(QString(), 0);
    for (int i = 0; i < added; ++i) {
        setSample(record, family, i);
        plot.addStatus(record, 300 * i);
    }
    const int kept = std::min(added, 5);
    QCOMPARE(plot.sampleCount(), kept);
    for (int j = 0; j < kept; ++j) {
        const int i = added - kept + j;
        QCOMPARE(plot.sampleTime(j), qint64(300 * i));
        for (int series = 0; series < plot.seriesCount(); ++series)
            QCOMPARE(plot.value(series, j), 10.0 * (series + 1) + i);
    }
}

void TestPlot::familySwitchClears_data()
{
    addFamilyRows();
}

// Whatever family the plot followed before, its samples are gone and the
// panes are this family's.
void TestPlot::familySwitchClears()
{
    QFETCH(BoardFamily, family);
    LivePlot plot;
    parachuteRadioComm record(QString(), 0);
    for (const BoardFamily before : Protocol::knownFamilies()) {
        plot.setFamily(before);
        setSample(record, before, 7);
        plot.addStatus(record, 0);
        plot.setFamily(family);
        QCOMPARE(plot.sampleCount(), 0);
        QCOMPARE(plot.paneCount(), int(Protocol::familyTable(family).plotPanes.size()));
    }
}

void TestPlot::staleValuesGiveGaps_data()
{
    addFamilyRows();
}

// With every flag off, exactly the values that depend on a flag (a switch
// board's pulse without a trigger) leave a gap.
void TestPlot::staleValuesGiveGaps()
{
    QFETCH(BoardFamily, family);
    const QList<StatusField> &fields = Protocol::familyTable(family).status;
    LivePlot plot;
    plot.setFamily(family);
    parachuteRadioComm record(QString(), 0);
    setSample(record, family, 0);
    for (const StatusField &field : fields) {
        if (field.flag)
            record.setStatusValue(field, 0);
    }
    plot.addStatus(record, 0);
    int series = 0;
    for (const StatusField &field : fields) {
        if (field.plotPane >= 0)
            QCOMPARE(std::isnan(plot.value(series++, 0)), field.validWith >= 0);
    }
    QCOMPARE(series, plot.seriesCount());
}

void TestPlot::thresholdsFromConfig_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<bool>("ownFamily"); // the configuration is of the plot's family
    for (const BoardFamily family : Protocol::knownFamilies()) {
        const QByteArray name = Protocol::familyName(family).toLatin1();
        QTest::addRow("%s, its own", name.constData()) << family << true;
        QTest::addRow("%s, another family's", name.constData()) << family << false;
    }
}

// A configuration shows each threshold field it holds (here all but the
// last), one of another family none; the next family starts without any.
void TestPlot::thresholdsFromConfig()
{
    QFETCH(BoardFamily, family);
    QFETCH(bool, ownFamily);
    const QList<PlotThreshold> &thresholds = Protocol::familyTable(family).plotThresholds;
    const QList<BoardFamily> families = Protocol::knownFamilies();
    BoardConfig config;
    config.family = ownFamily ? family : families.at((families.indexOf(family) + 1) % families.size());
    for (int t = 0; t + 1 < thresholds.size(); ++t)
        config.values.insert(thresholds.at(t).path, 1000 + t);
    LivePlot plot;
    plot.setFamily(family);
    plot.setThresholds(config);
    QCOMPARE(plot.thresholdCount(), int(thresholds.size()));
    for (int t = 0; t < plot.thresholdCount(); ++t)
        QCOMPARE(plot.thresholdValue(t), ownFamily && t + 1 < thresholds.size() ? 1000.0 + t : qQNaN());
    plot.setFamily(family);
    for (int t = 0; t < plot.thresholdCount(); ++t)
        QVERIFY(std::isnan(plot.thresholdValue(t)));
}

void TestPlot::render_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<int>("samples");
    QTest::addColumn<bool>("vary");
    for (const BoardFamily family : Protocol::knownFamilies()) {
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
    // Thresholds well above every value of the samples, so that no curve
    // covers them.
    BoardConfig config;
    config.family = family;
    const QList<PlotThreshold> &thresholds = Protocol::familyTable(family).plotThresholds;
    for (int t = 0; t < thresholds.size(); ++t)
        config.values.insert(thresholds.at(t).path, 1000 + 200 * t);
    plot.setThresholds(config);
    plot.resize(plot.sizeHint());
    parachuteRadioComm record(QString(), 0);
    for (int i = 0; i < samples; ++i) {
        setSample(record, family, vary ? i : 0, vary);
        plot.addStatus(record, 300 * i);
    }
    QImage image(plot.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    plot.render(&image);
    QVERIFY2(!shows(image, image.rect(), Qt::magenta), "part of the widget left unpainted");
    for (int s = 0; s < plot.seriesCount() && samples > 0; ++s)
        QVERIFY2(shows(image, plot.paneArea(plot.seriesPane(s)), plot.seriesColor(s)), qPrintable(plot.seriesName(s)));
    for (int t = 0; t < plot.thresholdCount(); ++t)
        QVERIFY2(shows(image, plot.paneArea(plot.thresholdPane(t)), plot.thresholdColor(t)),
                 qPrintable(thresholds.at(t).path));
}

void TestPlot::csv_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("08A3 with pulse") << BoardFamily::Switch08A3 << true
                                     << QByteArray("time,switch,triggerPresent,triggerValue_us,triggerFrequency_Hz\n"
                                                   "2026-05-04T08:22:03.005Z,0,1,10,20\n");
    QTest::newRow("08A3 in failsafe") << BoardFamily::Switch08A3 << false
                                      << QByteArray("time,switch,triggerPresent,triggerValue_us,triggerFrequency_Hz\n"
                                                    "2026-05-04T08:22:03.005Z,1,0,,\n");
    QTest::newRow("04F2") << BoardFamily::Trigger04F2 << true
                          << QByteArray("time,batteryVoltage_V,triggerVoltage_V,fuseProbeCurrent_A,fuseCurrent_A,"
                                        "fusePeakCurrent_A,temperature_C\n"
                                        "2026-05-04T08:22:03.005Z,12.4,20,30,40,50,-2.5\n");
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
    setSample(record, family, 0);
    record.triggerPresent = present;
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
    setSample(record, BoardFamily::Switch08A3, 0);
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
    setSample(record, BoardFamily::Trigger04F2, 0);
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
