// The entries that wait to be forwarded to the factory's record: a file
// beside the history (history.jsonl -> history.jsonl.outbox), one entry per
// line as the history holds it. Every entry appended to the history while a
// record is configured is added here too; a push takes the lines, stores
// them in the record and then removes them. Its own lock lets any number of
// programs add and push at once; a push that overlaps another only stores
// some entries twice, which the record keeps once.
#ifndef HALVERO_RECORDOUTBOX_H
#define HALVERO_RECORDOUTBOX_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include "result.h"

namespace Record {

QString outboxPathOf(const QString &historyPath);

class Outbox
{
public:
    explicit Outbox(const QString &historyPath);

    QString path() const { return m_path; }

    // One line more, on disk before it returns. A failure is
    // ErrorCode::Record.
    Result add(const QJsonObject &entry);
    // The lines waiting, oldest first; none when there is no outbox.
    Result read(QList<QByteArray> *lines) const;
    // Removes these lines and keeps every other, those added meanwhile too;
    // the file is replaced only once the new one is whole.
    Result remove(const QSet<QByteArray> &lines);

    // From now on every entry the history takes is added to the outbox
    // beside it as well (ConfigHistory's appended hook).
    static void forwardEveryEntry();
    // Entries the hook could not add since the last call, and why (empty
    // when none): they are in the local history only.
    static QString takeLostSentence();

private:
    QString m_path;
};

} // namespace Record

#endif // HALVERO_RECORDOUTBOX_H
