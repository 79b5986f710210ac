// Live status beyond the page: the plot (View > Live plot) in a floating
// dock and the CSV recording (File > Record live status) with its label on
// the status bar, both fed with every decoded status reply. A recording
// that cannot be written stops and says why.
#ifndef HALVERO_LIVESTATUS_H
#define HALVERO_LIVESTATUS_H

#include <QObject>
#include <QString>
#include <memory>

#include "boardconfig.h"

QT_BEGIN_NAMESPACE
class QAction;
class QDockWidget;
class QLabel;
class QMainWindow;
QT_END_NAMESPACE
class LivePlot;
class StatusRecorder;
class parachuteRadioComm;

class BoardSession;

class LiveStatus : public QObject
{
    Q_OBJECT

public:
    // `session` says whether a board is there to record, and which.
    LiveStatus(QMainWindow *window, const BoardSession *session);
    ~LiveStatus() override;

    // View > Live plot.
    QAction *plotAction() const;
    bool recording() const;

    // A decoded status reply of the connected board, which holds `held`.
    void statusReply(const parachuteRadioComm &record, const BoardConfig &held);
    // Starts (asking for the file) or stops the recording of the connected
    // board, which holds `held`.
    void setRecording(bool on);

signals:
    void status(const QString &text);
    // The recording started or stopped, by the operator or by a failure.
    void recordingChanged(bool on);

private:
    void stopped(const QString &text);

    QMainWindow *m_window;
    const BoardSession *m_session;
    QDockWidget *m_dock;
    LivePlot *m_plot;
    QString m_plotSerial; // the board the plot's samples are of
    std::unique_ptr<StatusRecorder> m_recorder;
    QLabel *m_label;
};

#endif // HALVERO_LIVESTATUS_H
