// The history window.
#include "historydialog.h"
#include "windowlog.h"

#include "Halvero_configurator.h"
#include "historywords.h"
#include "historywrites.h"
#include "recordreader.h"
#include "statustext.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <limits>
#include <utility>

using namespace ConfigHistory;

namespace {

// The operator's view: one row per write.
enum WriteColumn {
    WriteTime,
    WriteProduct,
    WriteSerial,
    WriteKind,
    WriteTool,
    WriteChanges,
    WriteOutcome,
    WriteColumns
};
// Behind it, on demand: every entry as the file holds it.
enum EntryColumn {
    Number,
    Time,
    Product,
    Serial,
    Event,
    Phase,
    Tool,
    Changes,
    EntryColumns
};

// A row's entries by their own id (older entries without one by their time
// and number), so that a row is found again after the table is rebuilt.
constexpr int keysRole = Qt::UserRole + 1;

QString entryKey(const Entry &entry)
{
    const QString id = entry.json.value(QStringLiteral("id")).toString();
    return id.isEmpty() ? entry.time + QLatin1Char('#') + QString::number(entry.index) : id;
}

qint64 entryTime(const Entry &entry)
{
    const QDateTime time = QDateTime::fromString(entry.time, Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

} // namespace

HistoryDialog::HistoryDialog(QWidget *parent)
    : QDialog(parent)
    , m_all(new QCheckBox(Halvero_configurator::tr("&All boards"), this))
    , m_entriesShown(new QCheckBox(Halvero_configurator::tr("Show the &entries behind each write"), this))
    , m_note(new QLabel(this))
    , m_table(new QTableWidget(0, WriteColumns, this))
    , m_place(new QPushButton(Halvero_configurator::tr("&Put in the page"), this))
{
    setObjectName(QStringLiteral("dialog_history"));
    setWindowTitle(Halvero_configurator::tr("Configuration history"));
    m_all->setObjectName(QStringLiteral("check_history_all"));
    m_note->setObjectName(QStringLiteral("label_history"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_entriesShown->setObjectName(QStringLiteral("check_history_entries"));
    m_entriesShown->setToolTip(Halvero_configurator::tr(
        "Each write is recorded as what the board held before it, what was about to be written and what it "
        "held after; this lists those entries one by one."));
    m_table->setObjectName(QStringLiteral("table_history"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    // A row at a time: the row at the top is found again after a rebuild.
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setWordWrap(true);
    m_place->setObjectName(QStringLiteral("btn_history_to_page"));
    m_place->setToolTip(
        Halvero_configurator::tr("Puts the entry's values in the page as unsaved edits; Save CONF writes them."));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_place, QDialogButtonBox::ActionRole);
    auto *layout = new QVBoxLayout(this);
    auto *choices = new QHBoxLayout;
    choices->addWidget(m_all);
    choices->addWidget(m_entriesShown);
    choices->addStretch();
    layout->addLayout(choices);
    layout->addWidget(m_table);
    layout->addWidget(m_note);
    layout->addWidget(buttons);
    resize(900, 420);

    connect(m_all, &QCheckBox::toggled, this, &HistoryDialog::fill);
    connect(m_entriesShown, &QCheckBox::toggled, this, &HistoryDialog::populate);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::updatePlaceButton);
    // Loaded after the scroll or key that got there has finished with the
    // table: never while the view is moving its current row.
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!std::exchange(m_bottomLookDue, true))
            QMetaObject::invokeMethod(this, &HistoryDialog::loadMoreAtBottom, Qt::QueuedConnection);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_place, &QPushButton::clicked, this, [this] {
        if (const Entry *entry = selectedEntry())
            emit placeRequested(entry->config, Halvero_configurator::tr("History entry %1").arg(entry->index));
    });
}

void HistoryDialog::setBoard(const BoardConfig &board, bool pageShown)
{
    const bool sameBoard = normalSerial(board.serial) == normalSerial(m_board.serial) && board.family == m_board.family;
    m_board = board;
    m_pageShown = pageShown;
    // Without a board there is no "this board" to list.
    m_all->setEnabled(board.family != BoardFamily::Unknown);
    if (board.family == BoardFamily::Unknown)
        m_all->setChecked(true);
    if (!sameBoard && isVisible())
        fill();
    updatePlaceButton();
}

void HistoryDialog::showFor(const BoardConfig &board, bool pageShown)
{
    setBoard(board, pageShown);
    reload();
    show();
    raise();
    activateWindow();
}

void HistoryDialog::reload()
{
    fill();
}

void HistoryDialog::setRecord(const QString &uri)
{
    m_reader.reset();
    delete m_record;
    m_record = uri.isEmpty() ? nullptr : new RecordReader(uri, this);
}

// Reading starts again from the newest entry, for the boards now asked for.
// The rows shown stay until the first page comes; a page still on its way
// for the listing before is not taken.
void HistoryDialog::fill()
{
    const bool all = m_all->isChecked() || m_board.family == BoardFamily::Unknown;
    m_problems.clear();
    m_shownEarlier = true;
    m_reader = historySource(m_record, all ? EntryFilter() : EntryFilter{m_board.serial, m_board.family});
    connect(m_reader.get(), &HistorySource::pageRead, this, &HistoryDialog::take);
    qCDebug(lcHistoryWindow).noquote() << "Reading" << m_reader->where();
    if (m_entries.isEmpty())
        populate(); // the source's headers over the empty table meanwhile
    m_reader->fetch(pageEntries);
    updateNote();
    updatePlaceButton();
}

void HistoryDialog::loadMore()
{
    if (m_reader->atEnd())
        return;
    m_reader->fetch(pageEntries);
    updateNote();
}

void HistoryDialog::take(const SourcedPage &page)
{
    if (std::exchange(m_shownEarlier, false)) {
        m_table->setRowCount(0);
        m_entries.clear();
        m_stations.clear();
        m_times.clear();
        m_keys.clear();
    }
    // The local history's pages and the record's come each newest first,
    // not in one order, and an entry forwarded to the record comes from
    // both: each goes in once, after every entry as new or newer.
    for (const SourcedEntry &sourced : page.entries) {
        const QString key = entryKey(sourced.listed.entry);
        if (m_keys.contains(key))
            continue;
        m_keys.insert(key);
        const qint64 time = entryTime(sourced.listed.entry);
        qsizetype at = m_entries.size();
        while (at > 0 && m_times.at(at - 1) < time)
            --at;
        m_entries.insert(at, sourced.listed);
        m_stations.insert(at, sourced.station);
        m_times.insert(at, time);
    }
    m_problems << page.problems;
    populate();
    updateNote();
}

// The table again from the entries read so far, in the view asked for.
void HistoryDialog::populate()
{
    using W = Halvero_configurator;
    const bool entries = m_entriesShown->isChecked();
    const bool all = m_all->isChecked() || m_board.family == BoardFamily::Unknown;
    const bool benches = m_reader && m_reader->fromBenches();
    // The row at the top and the current one stay where they are.
    const auto firstKeyOf = [this](int row) {
        const QTableWidgetItem *item = row >= 0 ? m_table->item(row, 0) : nullptr;
        return item ? item->data(keysRole).toStringList().value(0) : QString();
    };
    const int scrolled = m_table->verticalScrollBar()->value();
    const QString topKey = firstKeyOf(m_table->rowAt(0));
    const QString currentKey = firstKeyOf(m_table->currentRow());
    const bool selected = !m_table->selectedItems().isEmpty();
    QList<QStringList> rows;
    QList<int> values;       // the entry each row stands for
    QList<QStringList> keys; // the entries of each row
    if (entries) {
        for (int i = 0; i < m_entries.size(); ++i) {
            const Entry &e = m_entries.at(i).entry;
            rows << QStringList{QString::number(e.index),
                                localTime(e.time),
                                e.config.productCode,
                                e.config.serial,
                                e.event,
                                HistoryWords::phaseWord(e),
                                e.tool,
                                HistoryWords::changes(e, m_entries.at(i).changes)};
            if (benches)
                rows.last() << m_stations.value(i);
            values << i;
            keys << QStringList{entryKey(e)};
        }
    } else {
        for (const HistoryWrites::Row &write : HistoryWrites::group(m_entries)) {
            const Entry &e = m_entries.at(write.values).entry;
            rows << QStringList{localTime(m_entries.at(write.entries.first()).entry.time),
                                e.config.productCode,
                                e.config.serial,
                                HistoryWrites::writeText(e.event),
                                e.tool,
                                write.changes,
                                HistoryWrites::outcomeText(write)};
            if (benches)
                rows.last() << m_stations.value(write.values);
            values << write.values;
            keys << QStringList();
            for (int i : write.entries)
                keys.last() << entryKey(m_entries.at(i).entry);
        }
    }
    const int changesColumn = entries ? int(Changes) : int(WriteChanges);
    m_table->clear();
    QStringList headers = entries
                              ? QStringList{W::tr("#"),     W::tr("Time"),  W::tr("Board"), W::tr("Serial"),
                                            W::tr("Event"), W::tr("Phase"), W::tr("Tool"),  W::tr("Changed fields")}
                              : QStringList{W::tr("Time"), W::tr("Board"),        W::tr("Serial"), W::tr("Operation"),
                                            W::tr("Tool"), W::tr("What changed"), W::tr("Outcome")};
    // The record's rows name their bench, in a column after the others.
    if (benches)
        headers << W::tr("Bench");
    m_table->setColumnCount(int(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    // A long list of changes wraps in its row; its tool tip has it whole too.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(changesColumn, QHeaderView::Stretch);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setColumnHidden(entries ? int(Serial) : int(WriteSerial), !all);
    // Rows go in as one block: row by row, the table would lay itself out
    // again for each.
    m_table->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int c = 0; c < rows.at(row).size(); ++c) {
            auto *item = new QTableWidgetItem(rows.at(row).at(c));
            if (c == 0) {
                item->setData(Qt::UserRole, values.at(row));
                item->setData(keysRole, keys.at(row));
            }
            if (c == changesColumn)
                item->setToolTip(rows.at(row).at(c));
            m_table->setItem(row, c, item);
        }
    }
    const auto rowOf = [&keys](const QString &key, int otherwise) {
        for (int row = 0; row < keys.size(); ++row)
            if (keys.at(row).contains(key))
                return row;
        return otherwise;
    };
    if (!currentKey.isEmpty()) {
        const int current = rowOf(currentKey, -1);
        if (current >= 0)
            m_table->selectionModel()->setCurrentIndex(m_table->model()->index(current, 0),
                                                       selected ? QItemSelectionModel::ClearAndSelect
                                                                      | QItemSelectionModel::Rows
                                                                : QItemSelectionModel::NoUpdate);
    }
    // The scroll bar's range follows the new rows only once they are laid out.
    m_table->doItemsLayout();
    m_table->verticalScrollBar()->setValue(topKey.isEmpty() ? scrolled : rowOf(topKey, scrolled));
    updatePlaceButton();
}

// Scrolled to the last rows: the next older entries join the list.
void HistoryDialog::loadMoreAtBottom()
{
    m_bottomLookDue = false;
    const QScrollBar *bar = m_table->verticalScrollBar();
    if (!m_reader || bar->value() < bar->maximum() - bar->pageStep() / 2)
        return;
    loadMore();
}

void HistoryDialog::updateNote()
{
    const bool all = m_all->isChecked() || m_board.family == BoardFamily::Unknown;
    const QString path = m_reader ? m_reader->where() : defaultPath();
    const bool reading = m_reader && m_reader->reading();
    QStringList note;
    // The rows of the listing before say nothing of the one being read.
    if (!m_shownEarlier) {
        if (m_table->rowCount() == 0)
            note << (all ? Halvero_configurator::tr("No entries in %1.").arg(path)
                         : Halvero_configurator::tr("No entries of this board in %1.").arg(path));
        else if (all)
            note << Halvero_configurator::tr("All boards' entries in %1, newest first.").arg(path);
        else
            note << Halvero_configurator::tr("Entries of the %1 board %2 in %3, newest first.")
                        .arg(m_board.productCode, m_board.serial, path);
        if (m_table->rowCount() > 0 && !reading && m_reader && !m_reader->atEnd())
            note.last() += QLatin1Char(' ') + Halvero_configurator::tr("Scroll down for older ones.");
    }
    if (reading && m_record)
        note << Halvero_configurator::tr("Reading the record %1 …").arg(m_record->where());
    if (disabledByEnvironment())
        note << Halvero_configurator::tr("Nothing is being recorded: HALVERO_HISTORY is off.");
    for (const QString &problem : std::as_const(m_problems))
        note << StatusText::asSentence(problem);
    m_note->setText(note.join(QLatin1Char('\n')));
}

const Entry *HistoryDialog::selectedEntry() const
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    const QTableWidgetItem *number = m_table->item(selected.constFirst()->row(), 0);
    const int i = number ? number->data(Qt::UserRole).toInt() : -1;
    return i >= 0 && i < m_entries.size() ? &m_entries.at(i).entry : nullptr;
}

void HistoryDialog::updatePlaceButton()
{
    const Entry *entry = selectedEntry();
    const bool fits = entry && m_pageShown && entry->config.family == m_board.family;
    m_place->setEnabled(fits);
    if (entry && m_pageShown && !fits)
        m_place->setToolTip(Halvero_configurator::tr("This entry is of a %1 board; the board connected is a %2.")
                                .arg(entry->config.productCode, m_board.productCode));
    else if (!m_pageShown)
        m_place->setToolTip(Halvero_configurator::tr("Connect to a board to put an entry's values in its page."));
    else
        m_place->setToolTip(
            Halvero_configurator::tr("Puts the entry's values in the page as unsaved edits; Save CONF writes them."));
}
