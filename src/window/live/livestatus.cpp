// The live plot's dock and the status recording.
#include "livestatus.h"
#include "windowlog.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "boardsession.h"
#include "floatingdock.h"
#include "liveplot.h"
#include "recordtext.h"
#include "statusrecorder.h"
#include "windowsettings.h"

LiveStatus::LiveStatus(QMainWindow *window, const BoardSession *session)
    : QObject(window)
    , m_window(window)
    , m_session(session)
    , m_dock(new QDockWidget(tr("Live plot"), window))
    , m_plot(new LivePlot(m_dock))
    , m_recorder(std::make_unique<StatusRecorder>())
    , m_label(new QLabel(window))
{
    m_dock->setObjectName(QStringLiteral("dock_plot"));
    m_plot->setObjectName(QStringLiteral("plot_live"));
    m_dock->setWidget(m_plot);
    floatDock(window, m_dock, QSize(640, 440), false);
    QAction *plot = m_dock->toggleViewAction();
    plot->setObjectName(QStringLiteral("actionLivePlot"));
    plot->setText(tr("Live &plot"));

    m_label->setObjectName(QStringLiteral("label_recording"));
    window->statusBar()->addPermanentWidget(m_label);
    m_label->hide();
}

LiveStatus::~LiveStatus() = default;

QAction *LiveStatus::plotAction() const
{
    return m_dock->toggleViewAction();
}

bool LiveStatus::recording() const
{
    return m_recorder->isRecording();
}

void LiveStatus::statusReply(const parachuteRadioComm &record, const BoardConfig &held)
{
    const BoardFamily family = recordFamily(record);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // Another board starts a plot of its own.
    const QString serial = serialText(record);
    if (m_plot->family() != family || m_plotSerial != serial) {
        m_plot->setFamily(family);
        m_plotSerial = serial;
    }
    m_plot->setThresholds(held);
    m_plot->addStatus(record, now);

    if (!m_recorder->isRecording())
        return;
    QString error;
    if (m_recorder->family() != family) {
        error = tr("the board now connected is a %1, the recording is of another family").arg(productCodeText(record));
        m_recorder->stop();
    } else if (m_recorder->record(record, QDateTime::fromMSecsSinceEpoch(now, Qt::UTC), &error)) {
        m_label->setText(tr("● Recording: %1 rows").arg(m_recorder->rows()));
        return;
    }
    stopped(tr("Recording stopped: %1. The rows recorded so far (%2) are in %3; choose another file to record again.")
                .arg(error)
                .arg(m_recorder->rows())
                .arg(m_recorder->path()));
}

void LiveStatus::stopped(const QString &text)
{
    m_label->hide();
    emit recordingChanged(false);
    emit status(text);
}

void LiveStatus::setRecording(bool on)
{
    const BoardConfig held = m_session->held();
    if (!on) {
        if (!m_recorder->isRecording())
            return;
        const QString path = m_recorder->path();
        const qint64 rows = m_recorder->rows();
        m_recorder->stop();
        stopped(tr("Recording stopped: %1 rows in %2.").arg(rows).arg(path));
        return;
    }
    emit recordingChanged(false); // until a file is chosen and open
    if (!m_session->connected() || held.family == BoardFamily::Unknown) {
        emit status(tr("Nothing to record: connect to a board first."));
        return;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString product = held.productCode;
    const QString serial = held.serial.right(4);
    const QString path = chooseFile(m_window, "dialog_record_status", tr("Record the live status"),
                                    QStringLiteral("%1-%2-status-%3.csv").arg(product, serial, stamp),
                                    tr("CSV files (*.csv);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    QString error;
    // The board may have gone while the file was chosen.
    if (!m_session->connected() || !m_recorder->start(path, m_session->held().family, &error)) {
        emit status(tr("Not recording: %1.").arg(error.isEmpty() ? tr("the board was disconnected meanwhile") : error));
        return;
    }
    m_label->setText(tr("● Recording: %1 rows").arg(0));
    m_label->setToolTip(tr("Recording the live status to %1").arg(path));
    m_label->show();
    qCDebug(lcLive).noquote() << "Recording to" << path;
    emit recordingChanged(true);
    emit status(tr("Recording the live status to %1: a row per status reply, until File > Record live status is "
                   "unchecked.")
                    .arg(path));
}
