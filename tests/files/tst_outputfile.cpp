// Output files: a failed write leaves what was there whole and no temporary
// behind, and what is no regular file is written in place, never replaced.
// The file-size limit is tried in a child (the test program itself: see main).
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include "outputfile.h"

namespace {

const QByteArray Data(8 * 1024, 'x'); // fits in a Qt write buffer
const QByteArray Old("old contents\n");

// What is at `path` itself, a link not followed.
QString kindOf(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("nothing");
    return S_ISLNK(st.st_mode) ? "link" : S_ISCHR(st.st_mode) ? "device" : S_ISFIFO(st.st_mode) ? "fifo"
         : S_ISDIR(st.st_mode) ? "folder" : "file";
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class tst_OutputFile : public QObject
{
    Q_OBJECT

private slots:
    void writesWithoutLoss_data();
    void writesWithoutLoss();
};

void tst_OutputFile::writesWithoutLoss_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("written");

    QTest::newRow("new file") << "new" << true;
    QTest::newRow("file replaced") << "file" << true;
    QTest::newRow("through a symlink") << "link" << true;
    QTest::newRow("over the file-size limit") << "limit" << false;
    QTest::newRow("/dev/null") << "/dev/null" << true;
    QTest::newRow("/dev/full") << "/dev/full" << false;
    QTest::newRow("FIFO") << "fifo" << true;
    QTest::newRow("folder") << "folder" << false;
}

void tst_OutputFile::writesWithoutLoss()
{
    QFETCH(QString, target);
    QFETCH(bool, written);

    QTemporaryDir dir;
    const QString file = dir.filePath("out.txt");
    QString path = target.startsWith('/') ? target : file;
    if (target == "file" || target == "link" || target == "limit") {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(Old) == Old.size());
    }
    if (target == "link") {
        path = dir.filePath("link");
        QVERIFY(QFile::link("out.txt", path));
    }
    QProcess reader;
    if (target == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        reader.start("cat", {file});
    }
    if (target == "folder")
        QVERIFY(QDir().mkdir(file));
    const QString kind = kindOf(path);
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QString error;
    if (target == "limit") {
        const int code = QProcess::execute(QCoreApplication::applicationFilePath(), {"--write-limited", path});
        QCOMPARE(code, written ? 0 : 1); // -2: it died of the signal
    } else {
        QCOMPARE(OutputFile::writeFileSafely(path, Data, &error), written);
        QCOMPARE(error.isEmpty(), written);
    }

    QCOMPARE(kindOf(path), target == "new" ? "file" : kind);
    QStringList after = before;
    if (target == "new")
        after << "out.txt";
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), after);
    if (kindOf(file) == "file")
        QCOMPARE(contents(file), written ? Data : Old);
    if (target == "fifo") {
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.readAllStandardOutput(), Data);
    }
}

// "tst_outputfile --write-limited PATH" writes PATH under a file-size limit
// smaller than the data: exit 0 when that succeeded, 1 when it failed.
int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--write-limited") == 0) {
        OutputFile::ignoreFileSizeSignal();
        const rlimit limit{4 * 1024, 4 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        return OutputFile::writeFileSafely(QFile::decodeName(argv[2]), Data, nullptr) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    tst_OutputFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outputfile.moc"
