// Marks on the editors of unsaved edits, kept apart from the tool tips
// others give the same editors.
#include "editmarks.h"
#include "windowlog.h"

#include <QComboBox>
#include <QTimer>
#include <QWidget>

#include "configpage.h"
#include "question.h"

namespace {

// Set on a widget while it holds an unsaved edit (style sheets may use it).
const char *const unsavedEdit = "unsavedEdit";
// The tool tip a marked widget had before, and the one the mark gave it:
// the mark gives back the former only if nobody replaced the latter since.
const char *const toolTipBefore = "halveroToolTipBefore";
const char *const markToolTip = "halveroMarkToolTip";

void setMarked(QWidget *widget, bool marked, const QString &boardValue)
{
    const bool wasMarked = widget->property(unsavedEdit).toBool();
    if (!marked && !wasMarked)
        return;
    const bool ownToolTip = wasMarked && widget->toolTip() == widget->property(markToolTip).toString();
    if (!ownToolTip)
        widget->setProperty(toolTipBefore, widget->toolTip());
    const QString before = widget->property(toolTipBefore).toString();
    widget->setProperty(unsavedEdit, marked);
    // Only what is set here overrides what the widget inherits, so an empty
    // font gives it back its own look. Set only when the mark comes or goes.
    // The mark is in the font alone: a palette of its own would give the
    // style's pixmap cache a new set of frames every time.
    if (marked != wasMarked) {
        QFont font;
        if (marked) {
            // A combo box has no room to spare for bold text.
            if (qobject_cast<QComboBox *>(widget))
                font.setItalic(true);
            else
                font.setBold(true);
        }
        widget->setFont(font);
    }
    if (!marked) {
        if (ownToolTip)
            widget->setToolTip(before);
        return;
    }
    const QString tip = before.isEmpty() ? boardValue : boardValue + QStringLiteral("<br><br>") + before;
    widget->setToolTip(tip);
    widget->setProperty(markToolTip, tip);
}

} // namespace

EditMarks::EditMarks(ConfigPage *page, std::function<PageDifferences()> differences, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_differences(std::move(differences))
    , m_deferred(new QTimer(this))
{
    m_deferred->setSingleShot(true);
    m_deferred->setInterval(0);
    connect(m_deferred, &QTimer::timeout, this, &EditMarks::update);
    connect(page, &ConfigPage::edited, m_deferred, qOverload<>(&QTimer::start));
}

void EditMarks::update()
{
    const PageDifferences differences = m_differences();
    QList<QWidget *> marked;
    for (const FieldDifference &d : differences.fields) {
        QWidget *widget = m_page->editor(differences.family, d.field);
        if (!widget)
            continue;
        setMarked(widget, true, tr("The board holds %1.").arg(m_page->valueText(differences.family, d.field, d.board)));
        marked << widget;
    }
    for (QWidget *widget : m_page->editors())
        if (!marked.contains(widget))
            setMarked(widget, false, QString());
    if (m_anyMarked != !differences.fields.isEmpty())
        qCDebug(lcPage) << (differences.fields.isEmpty() ? "No unsaved edits" : "Unsaved edits in")
                        << differences.fields.size() << "fields";
    m_anyMarked = !differences.fields.isEmpty();
    emit updated(modified());
}

bool EditMarks::confirmDiscard(QWidget *parent, const QString &question, bool pageShown)
{
    QString what;
    if (m_kept.family != BoardFamily::Unknown && !pageShown) {
        what = tr("The edits made before the connection was lost are not saved to the board.");
    } else {
        QStringList fields;
        for (const FieldDifference &d : m_differences().fields)
            fields << d.field.label();
        what = tr("The page holds edits not saved to the board: %1.").arg(fields.join(QStringLiteral(", ")));
    }
    return askBeforeGivingUp(parent, "dialog_unsaved_edits", tr("Unsaved edits"), what + QLatin1Char(' ') + question);
}

QMap<QString, int> EditMarks::edits(const QList<FieldDifference> &differences)
{
    QMap<QString, int> edits;
    for (const FieldDifference &d : differences)
        edits.insert(d.field.path, d.file);
    return edits;
}
