// The README's table of status-bar sentences is what an operator looks a
// message up in: every sentence it quotes must still be one the window says.
// The sentences are compared with the string literals of the window and link
// sources, "…" and "hh:mm:ss" standing for what the program fills in.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return QString::fromUtf8(file.readAll());
}

// Every string literal of the sources, adjacent literals joined as the
// compiler joins them.
QStringList sourceTexts()
{
    static const QRegularExpression literals(
        QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\"(\\s*\"((?:[^\"\\\\]|\\\\.)*)\")*"));
    static const QRegularExpression piece(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    QStringList texts;
    for (const char *folder : {"src/window", "src/link"}) {
        QDirIterator sources(QStringLiteral(HALVERO_SOURCE_DIR "/") + QLatin1String(folder), {QStringLiteral("*.cpp")},
                             QDir::Files, QDirIterator::Subdirectories);
        while (sources.hasNext()) {
            const QString source = readText(sources.next());
            for (auto m = literals.globalMatch(source); m.hasNext();) {
                QString joined;
                for (auto p = piece.globalMatch(m.next().captured(0)); p.hasNext();)
                    joined += p.next().captured(1);
                texts << joined.replace(QStringLiteral("\\'"), QStringLiteral("'"));
            }
        }
    }
    return texts;
}

// The first column of the README's status-bar table.
QStringList quotedSentences()
{
    const QString readme = readText(QStringLiteral(HALVERO_SOURCE_DIR "/README.md"));
    const qsizetype from = readme.indexOf(QStringLiteral("## When something goes wrong: the status bar"));
    const qsizetype to = readme.indexOf(QStringLiteral("\n## "), from + 1);
    QStringList sentences;
    for (const QString &line : readme.mid(from, to - from).split(QLatin1Char('\n'))) {
        if (!line.startsWith(QStringLiteral("| ")) || line.startsWith(QStringLiteral("| Status bar")))
            continue;
        sentences << line.section(QLatin1Char('|'), 1, 1).trimmed().split(QStringLiteral(" / "));
    }
    return sentences;
}

} // namespace

class tst_Readme : public QObject
{
    Q_OBJECT

private slots:
    void statusSentencesAreTheWindowsOwn();
};

void tst_Readme::statusSentencesAreTheWindowsOwn()
{
    const QStringList texts = sourceTexts();
    const QStringList sentences = quotedSentences();
    QVERIFY2(sentences.size() > 10, "the README's status-bar table was not found");
    static const QRegularExpression filledIn(QStringLiteral("…|hh:mm:ss"));
    QStringList missing;
    for (const QString &sentence : sentences) {
        for (QString part : sentence.split(filledIn)) {
            part = part.trimmed();
            if (part.size() < 4)
                continue;
            const bool said =
                std::any_of(texts.cbegin(), texts.cend(), [&](const QString &t) { return t.contains(part); });
            if (!said)
                missing << QStringLiteral("\"%1\" (in \"%2\")").arg(part, sentence);
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("the README quotes what the window no longer says:\n  ")
                                           + missing.join(QStringLiteral("\n  "))));
}

QTEST_GUILESS_MAIN(tst_Readme)
#include "tst_readme.moc"
