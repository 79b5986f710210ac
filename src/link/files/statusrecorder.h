// Records a board's live status to a CSV file, one row per status reply, for
// a spreadsheet or a plotting script: a header naming each value with its
// unit, then the time (ISO 8601, UTC, milliseconds) and the values, with a
// '.' decimal point whatever the system's language.
#ifndef HALVERO_STATUSRECORDER_H
#define HALVERO_STATUSRECORDER_H

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include "protocol.h"

class parachuteRadioComm;

class StatusRecorder
{
public:
    StatusRecorder() = default;
    ~StatusRecorder();
    StatusRecorder(const StatusRecorder &) = delete;
    StatusRecorder &operator=(const StatusRecorder &) = delete;

    // Begins a new recording of this family's status into `path` and writes
    // the header. An existing regular file is replaced; a FIFO or a device is
    // written as it is (a FIFO needs a reader already). A recording under
    // way is stopped first. False, with the reason in `error`, when the
    // file cannot be opened or the header not written.
    bool start(const QString &path, BoardFamily family, QString *error);

    // Appends one row: the record's status values at `time`. Each row is
    // handed to the system at once, so a crash of the program loses at most
    // the row being written. A failed write (disk full, file-size limit,
    // a FIFO whose reader went away or does not keep up) stops the
    // recording and returns false with the reason.
    bool record(const parachuteRadioComm &record, const QDateTime &time, QString *error);

    void stop();

    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_path; }
    BoardFamily family() const { return m_family; }
    qint64 rows() const { return m_rows; } // data rows, the header not counted

    // The header and a row as written, line end included; the header is
    // empty for an unknown family.
    static QByteArray header(BoardFamily family);
    static QByteArray row(BoardFamily family, const parachuteRadioComm &record, const QDateTime &time);

private:
    bool write(const QByteArray &line, QString *error);

    QFile m_file;
    QString m_path;
    BoardFamily m_family = BoardFamily::Unknown;
    qint64 m_rows = 0;
    qint64 m_size = 0; // bytes of whole lines written, for cutting a partial one off
};

#endif // HALVERO_STATUSRECORDER_H
