// The family tables checked against themselves and against the window's
// form, every test once per known family: where the fields sit in the
// messages and what they refer to, their ranges, the plot's panes and
// thresholds, product codes and firmware, and the page, buttons and editors
// the form gives the family. A new family's table is checked here before
// any board answers with it.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "Halvero_configurator.h"
#include "boardfamilies.h"
#include "familyform.h"
#include "testaccess.h"

namespace {

// Takes the bytes [offset, offset + width) of a message of bytes.size()
// bytes for `name`; what is wrong with that, or nothing.
QString take(QStringList &bytes, int offset, int width, const QString &name)
{
    if (width < 1 || offset < Protocol::headerLength || offset + width > bytes.size())
        return QStringLiteral("%1 (bytes %2 to %3) lies outside the %4-byte message after its header")
            .arg(name)
            .arg(offset)
            .arg(offset + width - 1)
            .arg(bytes.size());
    for (int b = offset; b < offset + width; ++b) {
        if (!bytes.at(b).isEmpty())
            return QStringLiteral("%1 and %2 share byte %3").arg(bytes.at(b), name).arg(b);
        bytes[b] = name;
    }
    return QString();
}

bool opaque(uint32_t rgba)
{
    return rgba >> 24 == 0xff;
}

} // namespace

class TestFamilies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void configFields();
    void statusFields();
    void plot();
    void identity();
    void form();
};

void TestFamilies::initTestCase_data()
{
    QTest::addColumn<BoardFamily>("family");
    for (const BoardFamily family : Protocol::knownFamilies())
        QTest::newRow(qPrintable(Protocol::familyName(family))) << family;
}

void TestFamilies::configFields()
{
    QFETCH_GLOBAL(BoardFamily, family);
    const QList<ConfigField> &fields = Protocol::familyTable(family).config;
    QVERIFY(!fields.isEmpty());
    QStringList bytes(Protocol::familyTable(family).configLength);
    QSet<QString> paths;
    for (int f = 0; f < fields.size(); ++f) {
        const ConfigField &field = fields.at(f);
        const QString error = take(bytes, field.offset, field.width, field.path);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(!paths.contains(field.path), qPrintable(field.path + " twice"));
        paths.insert(field.path);
        QVERIFY2(field.min >= 0 && field.min <= field.max && field.max < qint64(1) << 8 * field.width,
                 qPrintable(field.path + " has a range that does not fit its bytes"));
        QVERIFY2(field.below == -1 || (field.below >= 0 && field.below < fields.size() && field.below != f),
                 qPrintable(field.path + " stays below no other field"));
    }
}

void TestFamilies::statusFields()
{
    QFETCH_GLOBAL(BoardFamily, family);
    const QList<StatusField> &fields = Protocol::familyTable(family).status;
    QVERIFY(!fields.isEmpty());
    QStringList bytes(Protocol::familyTable(family).statusLength);
    for (int f = 0; f < fields.size(); ++f) {
        const StatusField &field = fields.at(f);
        const QString error = take(bytes, field.offset, field.width, QLatin1String(field.json));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const int flag = field.validWith;
        QVERIFY2(flag == -1 || (flag >= 0 && flag < fields.size() && flag != f && fields.at(flag).flag),
                 qPrintable(QLatin1String(field.json) + " is valid with something not a flag"));
    }
}

// Every plotted value is in a pane, every pane shows a value, and each
// threshold is a configuration field drawn across a pane.
void TestFamilies::plot()
{
    QFETCH_GLOBAL(BoardFamily, family);
    const BoardFamilyTable &table = Protocol::familyTable(family);
    QList<int> series(table.plotPanes.size(), 0);
    for (const StatusField &field : table.status) {
        QVERIFY2(field.plotPane >= -1 && field.plotPane < series.size(), field.json);
        if (field.plotPane >= 0) {
            ++series[field.plotPane];
            QVERIFY2(qstrlen(field.plotName) > 0 && opaque(field.plotColor), field.json);
        }
    }
    for (int p = 0; p < series.size(); ++p) {
        const PlotPane &pane = table.plotPanes.at(p);
        QVERIFY2(series.at(p) > 0, qPrintable(QStringLiteral("pane %1 shows nothing").arg(p)));
        QVERIFY2(qstrlen(pane.unit) > 0 && pane.minSpan > 0 && pane.defaultLow < pane.defaultHigh,
                 qPrintable(QStringLiteral("pane %1").arg(p)));
    }
    for (const PlotThreshold &threshold : table.plotThresholds) {
        const bool known = std::any_of(table.config.cbegin(), table.config.cend(),
                                       [&](const ConfigField &field) { return field.path == threshold.path; });
        QVERIFY2(known, qPrintable(threshold.path + " is no configuration field"));
        QVERIFY2(threshold.pane >= 0 && threshold.pane < series.size() && opaque(threshold.color),
                 qPrintable(threshold.path));
    }
}

// A product code names one family, and the family is named after its first.
void TestFamilies::identity()
{
    QFETCH_GLOBAL(BoardFamily, family);
    const BoardFamilyTable &table = Protocol::familyTable(family);
    QVERIFY(!table.productCodes.isEmpty());
    QCOMPARE(QStringLiteral("%1").arg(table.productCodes.first(), 4, 16, QLatin1Char('0')).toUpper(), table.name);
    for (const uint16_t code : table.productCodes) {
        int families = 0;
        for (const BoardFamily any : Protocol::knownFamilies())
            families += int(Protocol::familyTable(any).productCodes.count(code));
        QVERIFY2(families == 1,
                 qPrintable(QStringLiteral("0x%1 is listed more than once").arg(code, 4, 16, QLatin1Char('0'))));
    }
    QVERIFY(table.majorMin <= table.majorMax && table.minorMin <= table.minorMax);
}

void TestFamilies::form()
{
    QFETCH_GLOBAL(BoardFamily, family);
    Halvero_configurator window;
    const QString pageName = FamilyForm::pageName(family);
    const QWidget *page = HalveroTestAccess::pages(window).value(pageName);
    const QWidget *internal = HalveroTestAccess::pages(window).value(FamilyForm::internalPageName());
    QVERIFY2(page && internal, qPrintable(pageName));
    QVERIFY(!FamilyForm::pageTitle(family).isEmpty());
    QCOMPARE(HalveroTestAccess::titles(window).value(pageName), FamilyForm::pageTitle(family));
    for (const auto command : {FamilyForm::Command::Read, FamilyForm::Command::Save, FamilyForm::Command::Defaults})
        QVERIFY2(page->findChild<QPushButton *>(FamilyForm::buttonName(family, command)),
                 qPrintable(FamilyForm::buttonName(family, command)));
    QVERIFY2(page->findChild<QWidget *>(FamilyForm::statusGroupName(family)),
             qPrintable(FamilyForm::statusGroupName(family)));

    // An editor of its own for each field, that holds the values the
    // field takes (a display-only one may hold fewer).
    QSet<const QWidget *> editors;
    for (const ConfigField &field : Protocol::familyTable(family).config) {
        const QString name = FamilyForm::configWidgetName(family, field);
        const QWidget *editor = name.isEmpty() ? nullptr : page->findChild<QWidget *>(name);
        if (!editor && !name.isEmpty())
            editor = internal->findChild<QWidget *>(name);
        QVERIFY2(editor, qPrintable(field.path + " has no editor " + name));
        QVERIFY2(!editors.contains(editor), qPrintable(name + " shows two fields"));
        editors.insert(editor);
        const auto *spin = qobject_cast<const QSpinBox *>(editor);
        const auto *combo = qobject_cast<const QComboBox *>(editor);
        if (field.boolean)
            QVERIFY2(qobject_cast<const QCheckBox *>(editor), qPrintable(name));
        else if (combo) {
            QCOMPARE(combo->count(), field.max - field.min + 1);
            // The history and the tool tips name the values as the page does.
            for (int item = 0; item < combo->count(); ++item)
                QCOMPARE(field.valueName(field.min + item), combo->itemText(item));
        } else
            QVERIFY2(spin && (field.displayOnly || (spin->minimum() <= field.min && spin->maximum() >= field.max)),
                     qPrintable(name + " does not take " + field.path + "'s range"));
    }
    for (const StatusField &field : Protocol::familyTable(family).status) {
        const QString name = FamilyForm::statusWidgetName(family, field);
        QVERIFY2(name.isEmpty() || page->findChild<QWidget *>(name), qPrintable(name));
    }
}

QTEST_MAIN(TestFamilies)
#include "tst_families.moc"
