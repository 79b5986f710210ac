// The connection row's list of serial ports.
#include "portlist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "portdiagnosis.h"

namespace {

QStringList extraPortNames()
{
    return qEnvironmentVariable("HALVERO_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

// Everything the system knows of a port, for its item's tool tip.
QString portToolTip(const QSerialPortInfo &port)
{
    QStringList lines{port.systemLocation()};
    if (!port.description().isEmpty())
        lines << port.description();
    if (!port.manufacturer().isEmpty())
        lines << port.manufacturer();
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
        lines << QStringLiteral("USB %1:%2")
                     .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                     .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!port.serialNumber().isEmpty())
        lines << QCoreApplication::translate("PortList", "Serial number %1").arg(port.serialNumber());
    return lines.join(QLatin1Char('\n'));
}

class PortItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(PortList::DescriptionRole).toString();
        if (!description.isEmpty())
            option->text += QStringLiteral("  —  ") + description;
    }
};

void fitPopup(QComboBox *list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = qMax(widest, list->view()->sizeHintForIndex(list->model()->index(i, 0)).width());
    list->view()->setMinimumWidth(widest + 2 * list->view()->frameWidth() + 8);
}

// Paints the closed list as QComboBox does, with the text from shownText().
class MiddleElision : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *list = qobject_cast<QComboBox *>(watched);
        if (!list || event->type() != QEvent::Paint || list->isEditable())
            return false;
        QStylePainter painter(list);
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        option.frame = list->hasFrame();
        option.currentText = PortList::shownText(list);
        option.currentIcon = list->itemIcon(list->currentIndex());
        option.iconSize = list->iconSize();
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
        return true;
    }
};

} // namespace

namespace PortList {

QStringList namesNow()
{
    QStringList names;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names << port.portName();
    return names + extraPortNames();
}

void fill(QComboBox *list, const QList<QSerialPortInfo> &ports)
{
    list->clear();
    for (const QSerialPortInfo &port : ports) {
        list->addItem(port.portName());
        list->setItemData(list->count() - 1, portToolTip(port), Qt::ToolTipRole);
        list->setItemData(list->count() - 1, port.description(), DescriptionRole);
    }
    const QStringList extra = extraPortNames();
    for (const QString &path : extra) {
        list->addItem(path);
        list->setItemData(list->count() - 1, path, Qt::ToolTipRole);
    }
    if (!extra.isEmpty())
        list->setCurrentIndex(int(ports.size()));
}

void choose(QComboBox *list, const QString &name)
{
    const int index = list->findText(name);
    if (index >= 0)
        list->setCurrentIndex(index);
}

void describeInPopup(QComboBox *list)
{
    list->view()->setItemDelegate(new PortItemDelegate(list->view()));
    fitPopup(list);
    QObject::connect(list->model(), &QAbstractItemModel::dataChanged, list, [list] { fitPopup(list); });
}

void elideInMiddle(QComboBox *list)
{
    list->installEventFilter(new MiddleElision(list));
    const auto tip = [list] {
        const int index = list->currentIndex();
        const QString facts = list->itemData(index, Qt::ToolTipRole).toString();
        list->setToolTip(index < 0 ? QString() : facts.isEmpty() ? list->itemText(index) : facts);
    };
    QObject::connect(list, &QComboBox::currentIndexChanged, list, tip);
    tip();
}

QString shownText(const QComboBox *list)
{
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = false;
    option.frame = list->hasFrame();
    const QRect room = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    return list->fontMetrics().elidedText(list->currentText(), Qt::ElideMiddle, room.width());
}

bool isThere(const QString &port)
{
    // Opening a port that is not there costs a diagnosis and a status line,
    // a look at the system's list does not.
#ifdef Q_OS_UNIX
    return QFileInfo::exists(systemLocationOf(port));
#else
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        if (info.portName() == port || info.systemLocation() == port)
            return true;
    return false;
#endif
}

} // namespace PortList
