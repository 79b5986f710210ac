// The read's thread reports through a marker object owned by the window:
// when the window goes first, the marker goes with it and the report is
// dropped; the thread itself ends at the read's bound and deletes itself.
#include "backgroundread.h"

#include <QObject>
#include <QThread>

namespace BackgroundRead {

namespace {

const QString markerName = QStringLiteral("background_file_read");

} // namespace

void start(QObject *owner, std::shared_ptr<ConfigFileRead::Source> source,
           std::function<void(const ConfigFileRead::Bytes &)> done)
{
    auto *marker = new QObject(owner);
    marker->setObjectName(markerName);
    auto result = std::make_shared<ConfigFileRead::Bytes>();
    QThread *thread = QThread::create([source, result] { *result = source->read(boundMs); });
    QObject::connect(thread, &QThread::finished, marker, [marker, result, done] {
        marker->setObjectName(QString()); // no longer busy, though deleted only later
        marker->deleteLater();
        done(*result);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

bool busy(const QObject *owner)
{
    return owner->findChild<QObject *>(markerName, Qt::FindDirectChildrenOnly) != nullptr;
}

} // namespace BackgroundRead
