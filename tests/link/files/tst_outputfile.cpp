// Output files: a failed write leaves what was there whole and no temporary
// behind, and what is no regular file is written in place, never replaced.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "outputfile.h"

namespace {

const QByteArray Data(8 * 1024, 'x'); // fits in a Qt write buffer
const QByteArray Old("old contents\n");

// What is at `path` itself, a link not followed.
QString kindOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) != 0 ? "nothing"
           : S_ISLNK(st.st_mode)                                  ? "link"
           : S_ISCHR(st.st_mode)                                  ? "device"
           : S_ISFIFO(st.st_mode)                                 ? "fifo"
           : S_ISDIR(st.st_mode)                                  ? "folder"
                                                                  : "file";
}

// 0 when written, 1 when refused; a child writes under a file-size limit
// below the data's size, and dies (-1) unless the signal is ignored.
int write(const QString &path, bool limited)
{
    if (!limited)
        return OutputFile::writeFileSafely(path, Data).ok() ? 0 : 1;
    const pid_t child = ::fork();
    if (child == 0) {
        OutputFile::ignoreFileSizeSignal();
        const rlimit limit{4096, 4096};
        ::_exit(::setrlimit(RLIMIT_FSIZE, &limit) == 0 && OutputFile::writeFileSafely(path, Data).ok() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    QFile old(file);
    if (target == "file" || target == "link" || target == "limit")
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(Old) == Old.size() && old.flush());
    const QString path = target.startsWith('/') ? target : target == "link" ? dir.filePath("link") : file;
    QVERIFY(target != "link" || QFile::link("out.txt", path));
    QVERIFY(target != "folder" || QDir().mkdir(file));
    QProcess reader;
    if (target == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        reader.start("cat", {file});
    }
    const QString kind = target == "new" ? "file" : kindOf(path);
    const auto entries = [&dir] {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    QStringList expected = entries();
    if (target == "new")
        expected << "out.txt";

    QCOMPARE(write(path, target == "limit"), written ? 0 : 1);
    QCOMPARE(kindOf(path), kind);
    QCOMPARE(entries(), expected); // no temporary left
    if (kindOf(file) == "file") {
        QFile now(file);
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), written ? Data : Old);
    }
    if (target == "fifo") {
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.readAllStandardOutput(), Data);
    }
}

QTEST_GUILESS_MAIN(tst_OutputFile)
#include "tst_outputfile.moc"
