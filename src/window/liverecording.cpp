// Live status beyond the page: the plot (View > Live plot) and the CSV
// recording (File > Record live status), both fed with every decoded status
// reply. A recording that cannot be written stops and says why.
#include "Halvero_configurator.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

#include "confighistory.h"
#include "liveplot.h"
#include "recordtext.h"
#include "statusrecorder.h"
#include "ui_Halvero_configurator.h"
#include "windowsettings.h"

QAction *Halvero_configurator::setupLiveStatus()
{
    plotDock = new QDockWidget(tr("Live plot"), this);
    plotDock->setObjectName(QStringLiteral("dock_plot"));
    livePlot = new LivePlot(plotDock);
    livePlot->setObjectName(QStringLiteral("plot_live"));
    plotDock->setWidget(livePlot);
    floatDock(plotDock, QSize(640, 440), false);

    recorder = std::make_unique<StatusRecorder>();
    recordingLabel = new QLabel(this);
    recordingLabel->setObjectName(QStringLiteral("label_recording"));
    ui->statusbar->addPermanentWidget(recordingLabel);
    recordingLabel->hide();

    QAction *plot = plotDock->toggleViewAction();
    plot->setObjectName(QStringLiteral("actionLivePlot"));
    plot->setText(tr("Live &plot"));
    return plot;
}

void Halvero_configurator::statusReplyShown()
{
    const BoardFamily family = recordFamily(*radioDevice);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // Another board starts a plot of its own.
    const QString serial = serialText(*radioDevice);
    if (livePlot->family() != family || plotSerial != serial) {
        livePlot->setFamily(family);
        plotSerial = serial;
    }
    if (boardHeld.family == family)
        livePlot->setThresholds(boardHeld.values.value(QStringLiteral("trigger.high")),
                                boardHeld.values.value(QStringLiteral("trigger.low")));
    livePlot->addStatus(*radioDevice, now);

    if (!recorder->isRecording())
        return;
    QString error;
    if (recorder->family() != family) {
        error = tr("the board now connected is a %1, the recording is of another family")
                    .arg(productCodeText(*radioDevice));
        recorder->stop();
    } else if (recorder->record(*radioDevice, QDateTime::fromMSecsSinceEpoch(now, Qt::UTC), &error)) {
        recordingLabel->setText(tr("● Recording: %1 rows").arg(recorder->rows()));
        return;
    }
    const QSignalBlocker quiet(actionRecordStatus);
    actionRecordStatus->setChecked(false);
    recordingLabel->hide();
    updateCockpitState();
    showStatus(tr("Recording stopped: %1. The rows recorded so far (%2) are in %3; choose another file to record "
                  "again.")
                   .arg(error)
                   .arg(recorder->rows())
                   .arg(recorder->path()));
}

void Halvero_configurator::setRecording(bool on)
{
    if (!on) {
        if (!recorder->isRecording())
            return;
        const QString path = recorder->path();
        const qint64 rows = recorder->rows();
        recorder->stop();
        recordingLabel->hide();
        updateCockpitState();
        showStatus(tr("Recording stopped: %1 rows in %2.").arg(rows).arg(path));
        return;
    }
    const QSignalBlocker quiet(actionRecordStatus);
    actionRecordStatus->setChecked(false);
    if (!radioDevice || !radioDevice->isConnected() || boardHeld.family == BoardFamily::Unknown) {
        showStatus(tr("Nothing to record: connect to a board first."));
        return;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = chooseFile(this, "dialog_record_status", tr("Record the live status"),
                                    QStringLiteral("%1-%2-status-%3.csv").arg(boardHeld.productCode, boardHeld.serial.right(4), stamp),
                                    tr("CSV files (*.csv);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    QString error;
    if (!radioDevice || !recorder->start(path, recordFamily(*radioDevice), &error)) {
        showStatus(tr("Not recording: %1.").arg(error.isEmpty() ? tr("the board was disconnected meanwhile") : error));
        return;
    }
    actionRecordStatus->setChecked(true);
    recordingLabel->setText(tr("● Recording: %1 rows").arg(0));
    recordingLabel->setToolTip(tr("Recording the live status to %1").arg(path));
    recordingLabel->show();
    updateCockpitState();
    showStatus(tr("Recording the live status to %1: a row per status reply, until File > Record live status is "
                  "unchecked.")
                   .arg(path));
}
