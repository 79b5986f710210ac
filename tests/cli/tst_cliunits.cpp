// halvero-cli without a board: the command line, the configuration file's
// checks and comparison, number formatting and the open-failure diagnosis.
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cerrno>

#include "benchslots.h"
#include "boardconfig.h"
#include "boardformat.h"
#include "cliarguments.h"
#include "clicommands.h"
#include "clirunner.h"
#include "clitestsupport.h"
#include "configfileread.h"
#include "confighistory.h"
#include "parachuteradiocomm.h"
#include "portdiagnosis.h"
#include "portfacts.h"
#include "provisionreport.h"
#include "provisionview.h"

using namespace clitest;

Q_DECLARE_METATYPE(CliCommand)
Q_DECLARE_METATYPE(BenchCommand)
Q_DECLARE_METATYPE(ErrorCode)
Q_DECLARE_METATYPE(OpenFailure)

static QByteArray text(const QJsonObject &file)
{
    return QJsonDocument(file).toJson();
}

class TestCliUnits : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void commandsDocumented_data();
    void commandsDocumented();
    void completionOffersEachCommand_data();
    void completionOffersEachCommand();
    void provisionSummary_data();
    void provisionSummary();
    void reportRows_data();
    void reportRows();
    void benchSlots_data();
    void benchSlots();
    void liveLinesInBenchOrder();
    void fileChecks_data();
    void fileChecks();
    void fileSizeLimit();
    void historyCountReadsTheNewestEnd();
    void diff_data();
    void diff();
    void statusNumbers_data();
    void statusNumbers();
    void statusFields_data();
    void statusFields();
    void openFailure_data();
    void openFailure();
    void portById_data();
    void portById();
    void usbId_data();
    void usbId();
};

void TestCliUnits::arguments_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error"); // part of the message; empty when accepted
    QTest::addColumn<CliCommand>("command");
    QTest::addColumn<QString>("operands"); // PORT and FILE as parsed

    const auto ok = [](const char *name, const char *line, CliCommand command, const char *operands) {
        QTest::newRow(name) << line << QString() << command << QString(operands);
    };
    const auto bad = [](const char *name, const char *line, const char *error) {
        QTest::newRow(name) << line << QString(error) << CliCommand::Help << QString();
    };
    ok("ports", "ports", CliCommand::Ports, "");
    ok("status", "status /dev/pts/4 --watch --count 3", CliCommand::Status, "/dev/pts/4");
    ok("config set", "config set ttyACM0 board.json --verify", CliCommand::ConfigSet, "ttyACM0 board.json");
    ok("options first", "--json --baud=115200 config diff COM3 -", CliCommand::ConfigDiff, "COM3 -");
    ok("help wins", "identify --help", CliCommand::Help, "");
    ok("history of one board", "history --serial 0x2038 --json", CliCommand::History, "");
    ok("history restore", "history restore ttyACM0 3 --any-board --no-history --verify", CliCommand::HistoryRestore,
       "ttyACM0");
    ok("provision", "provision board.json ttyUSB0 /dev/ttyACM1 --jobs 2 --report lot.CSV --verify",
       CliCommand::Provision, "ttyUSB0 /dev/ttyACM1 board.json");
    ok("provision every port", "provision board.json --all --report lot.jsonl", CliCommand::Provision, "board.json");
    ok("inventory", "identify ttyUSB0 ttyUSB1 --json", CliCommand::Identify, "ttyUSB0 ttyUSB1");
    ok("inventory of every port", "identify --all", CliCommand::Identify, "");
    ok("check by slots", "check golden.json --slots bench.txt --report lot.csv", CliCommand::Check, "golden.json");

    bad("nothing", "", "no command");
    bad("unknown command", "flash ttyUSB0", "unknown command 'flash'");
    bad("unknown config command", "config put ttyUSB0 a.json", "unknown command 'config put'");
    bad("config without get, set or diff", "config ttyUSB0",
        "needs a subcommand: config get PORT, config set PORT FILE");
    bad("unknown option", "identify ttyUSB0 --force", "unknown option '--force'");
    bad("unknown short option", "identify ttyUSB0 -x", "unknown option '-x'");
    bad("missing port", "identify", "needs a PORT");
    bad("missing file", "config set ttyUSB0", "needs a FILE");
    bad("extra argument", "status ttyUSB0 ttyUSB1", "unexpected argument 'ttyUSB1'");
    bad("provision without a port", "provision board.json", "'provision' needs a PORT, --all or --slots FILE");
    bad("slots and ports", "check b.json ttyUSB0 --slots bench.txt", "--slots names the ports itself");
    bad("report of no known format", "provision b.json ttyUSB0 --report lot.txt",
        "--report needs a file name ending in .jsonl");
    bad("no jobs", "provision b.json ttyUSB0 --jobs 0", "--jobs needs a positive whole number");
    bad("every port of one board", "status ttyUSB0 --all", "--all does not apply to 'status'");
    bad("verify on get", "config get ttyUSB0 --verify", "--verify does not apply to 'config get'");
    bad("output on set", "config set ttyUSB0 a.json -o b.json", "-o does not apply to 'config set'");
    bad("baud on ports", "ports --baud 9600", "--baud does not apply to 'ports'");
    bad("baud not a number", "identify ttyUSB0 --baud fast", "--baud needs a positive whole number");
    bad("count without watch", "status ttyUSB0 --count 3", "--count only makes sense with --watch");
    bad("quiet and verbose", "identify ttyUSB0 -qv", "-q and -v cannot be combined");
    bad("restore without an entry", "history restore ttyUSB0", "needs an entry number N");
    bad("restore entry not a number", "history restore ttyUSB0 latest", "needs an entry number as listed by 'history'");
    bad("unknown history command", "history last",
        "unknown command 'history last' (use history or history restore PORT N)");
    bad("no history on a read", "config get ttyUSB0 --no-history", "--no-history does not apply to 'config get'");
}

void TestCliUnits::arguments()
{
    QFETCH(QString, line);
    QFETCH(QString, error);
    QFETCH(CliCommand, command);
    QFETCH(QString, operands);

    const ParsedArguments parsed = parseArguments(QStringList{"halvero-cli"} + line.split(' ', Qt::SkipEmptyParts));
    QVERIFY2(parsed.message.contains(error) && parsed.ok() == error.isEmpty(), qPrintable(parsed.message));
    if (parsed.ok()) {
        QCOMPARE(parsed.options.command, command);
        const CliOptions &o = parsed.options;
        QCOMPARE(QStringList({o.ports.isEmpty() ? o.port : o.ports.join(' '), o.file}).join(' ').trimmed(), operands);
    }
}

void TestCliUnits::commandsDocumented_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("form"); // with its operands, as --help starts its line

    for (const CommandRow &row : commandTable()) {
        if (row.byOption)
            continue;
        QStringList form{row.words};
        for (Operand operand : row.operands)
            form << operandName(operand);
        QTest::newRow(qPrintable(row.words)) << row.words << form.join(' ');
    }
}

// The help text and the man page are written apart from the table; a command
// added to the table must show up in both.
void TestCliUnits::commandsDocumented()
{
    QFETCH(QString, words);
    QFETCH(QString, form);

    QVERIFY2(helpText().contains("\n  " + form + ' ') || helpText().contains("\n  " + form + '\n'), qPrintable(form));

    QFile page(HALVERO_CLI_MANPAGE);
    QVERIFY2(page.open(QIODevice::ReadOnly | QIODevice::Text), HALVERO_CLI_MANPAGE);
    const QStringList lines = QString::fromUtf8(page.readAll()).split('\n');
    QVERIFY2(lines.contains(".B halvero-cli " + words), "no SYNOPSIS line");
    // Each command of the COMMANDS section is the tag after a .TP: .B ports,
    // .BI identify " PORT", .BI "config get" " PORT".
    const qsizetype commands = lines.indexOf(".SH COMMANDS");
    QStringList tagged;
    for (qsizetype i = commands + 1; commands >= 0 && i + 1 < lines.size() && !lines.at(i).startsWith(".SH"); ++i) {
        static const QRegularExpression tag(R"re(^\.BI? (?:"([^"]+)"|(\S+)))re");
        const QRegularExpressionMatch m = tag.match(lines.at(i + 1));
        if (lines.at(i) == ".TP" && m.hasMatch())
            tagged << m.captured(1) + m.captured(2);
    }
    QVERIFY2(tagged.contains(words), qPrintable(tagged.join(", ")));
}

void TestCliUnits::completionOffersEachCommand_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("options"); // those of the command's own

    const QList<QPair<unsigned, QString>> names{{OptOutput, "--output"},
                                                {OptVerify, "--verify"},
                                                {OptWatch, "--watch"},
                                                {OptCount, "--count"},
                                                {OptYes, "--yes"},
                                                {OptSerial, "--serial"},
                                                {OptAnyBoard, "--any-board"},
                                                {OptNoHistory, "--no-history"},
                                                {OptBaud, "--baud"},
                                                {OptAll, "--all"},
                                                {OptJobs, "--jobs"},
                                                {OptReport, "--report"},
                                                {OptSlots, "--slots"},
                                                {OptRecord, "--record"},
                                                {OptStation, "--station"},
                                                {OptSince, "--since"},
                                                {OptWholeHistory, "--history"}};
    for (const CommandRow &row : commandTable()) {
        if (row.byOption)
            continue;
        QStringList options;
        for (const auto &name : names)
            if (row.options & name.first)
                options << name.second;
        QTest::newRow(qPrintable(row.words)) << row.words.split(' ') << options;
    }
}

// The bash completion is written apart from the table too: it must offer
// every command, and for each exactly the options the command takes.
void TestCliUnits::completionOffersEachCommand()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, options);

    const auto complete = [](const QStringList &line) {
        QProcess bash;
        bash.start("bash", QStringList{"-c",
                                       "source \"$0\"; COMP_WORDS=(halvero-cli \"$@\"); COMP_CWORD=$#; "
                                       "_halvero_cli; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                       HALVERO_CLI_COMPLETION}
                               + line);
        bash.waitForFinished();
        return QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    QVERIFY2(complete({""}).contains(words.first()), qPrintable(complete({""}).join(' ')));
    QStringList offered;
    for (const QString &option : complete(words + QStringList{"--"}))
        if (!QStringList{"--json", "--quiet", "--verbose", "--help"}.contains(option))
            offered << option;
    offered.sort();
    options.sort();
    QCOMPARE(offered, options);
}

void TestCliUnits::provisionSummary_data()
{
    QTest::addColumn<QStringList>("outcomes"); // "word port product [slot]" per board
    QTest::addColumn<BenchCommand>("command");
    QTest::addColumn<QString>("summary");

    const BenchCommand provision = BenchCommand::Provision;
    QTest::newRow("all held") << QStringList{"held a 08A3", "held b 08A2"} << provision
                              << "2 of 2 boards hold the configuration";
    QTest::newRow("one board") << QStringList{"held a 08A3"} << provision << "1 of 1 board holds the configuration";
    QTest::newRow("none held") << QStringList{"busy a -", "no-board b -"} << provision
                               << "0 of 2 boards hold the configuration; 1 no board: b; 1 busy: a";
    QTest::newRow("every outcome")
        << QStringList{"error q -",
                       "held a 08A3",
                       "skipped-family s 04F2",
                       "no-board /dev/ttyUSB7 -",
                       "other-values o 08A3",
                       "skipped-family t 04F2",
                       "no-answer n 08A2",
                       "busy b -"}
        << provision
        << "1 of 8 boards holds the configuration; 1 holds other values: o; 1 did not answer the write: n; "
           "2 skipped (04F2); 1 no board: /dev/ttyUSB7; 1 busy: b; 1 failed: q";
    QTest::newRow("a check, by slot") << QStringList{"differs a 08A3 bay-3", "matches b 08A3 bay-1",
                                                     "no-board c - bay-4", "differs d 08A2 bay-2"}
                                      << BenchCommand::Check
                                      << "1 of 4 boards matches the file; 2 differ: bay-3, bay-2; 1 no board: bay-4";
}

void TestCliUnits::provisionSummary()
{
    QFETCH(QStringList, outcomes);
    QFETCH(QString, summary);
    QFETCH(BenchCommand, command);

    QList<Provisioning::BoardRow> rows;
    for (const QString &board : outcomes) {
        const QStringList parts = board.split(' ');
        Provisioning::BoardRow row;
        for (int o = 0; o <= int(Provisioning::Outcome::Differs); ++o)
            if (Provisioning::outcomeWord(Provisioning::Outcome(o)) == parts.at(0))
                row.outcome = Provisioning::Outcome(o);
        QCOMPARE(Provisioning::outcomeWord(row.outcome), parts.at(0));
        row.port = parts.at(1);
        row.productCode = parts.at(2) == "-" ? QString() : parts.at(2);
        row.slot = parts.value(3);
        rows << row;
    }
    QCOMPARE(ProvisionText::summary(rows, command), summary);
    QCOMPARE(ProvisionText::summaryJson(rows, command).value("summary").toObject().value("boards").toInt(),
             rows.size());
}

void TestCliUnits::reportRows_data()
{
    QTest::addColumn<bool>("board"); // a board answered
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("file"); // as named on the command line
    QTest::addColumn<QString>("csvLine");

    QTest::newRow("held") << true << "bay-3"
                          << ""
                          << "golden.json"
                          << "/dev/pts/3,bay-3,0x2038,08A2,08A3,0.2,other-values,failsafe[0] trigger.high,0.321,"
                             "2026-05-04T08:22:03.355Z,,golden.json,5e1f,bench-4,ana";
    QTest::newRow("a message and a file name with commas and quotes")
        << false << ""
        << "No reply from \"x\", at 9600 baud"
        << "lot 7, rev \"B\".json"
        << "/dev/pts/3,,,,,,other-values,failsafe[0] trigger.high,0.321,2026-05-04T08:22:03.355Z,"
           "\"No reply from \"\"x\"\", at 9600 baud\",\"lot 7, rev \"\"B\"\".json\",5e1f,bench-4,ana";
}

// The production record's two formats, field by field.
void TestCliUnits::reportRows()
{
    QFETCH(bool, board);
    QFETCH(QString, slot);
    QFETCH(QString, message);
    QFETCH(QString, file);
    QFETCH(QString, csvLine);

    const ProvisionReport::RunFacts run{{file, "5e1f"}, "bench-4", "ana"};
    Provisioning::BoardRow row;
    row.port = "/dev/pts/3";
    row.slot = slot;
    if (board) {
        row.serial = "0x2038";
        row.productCode = "08A2";
        row.family = "08A3";
        row.firmware = "0.2";
    }
    row.outcome = Provisioning::Outcome::OtherValues;
    for (const ConfigField &field : configFields(BoardFamily::Switch08A3))
        if (field.path == "failsafe[0]" || field.path == "trigger.high")
            row.differences << FieldDifference{field, 1000, 1500};
    row.message = message;
    row.seconds = 0.32149;
    row.finished = QDateTime::fromString("2026-05-04T08:22:03.355Z", Qt::ISODateWithMs);

    const QList<QByteArray> csv = ProvisionReport::csv({row}, run).split('\n');
    QCOMPARE(csv.value(0), ProvisionReport::columns().join(',').toUtf8());
    QCOMPARE(QString::fromUtf8(csv.value(1)), csvLine);

    // The JSON has the CSV's columns, the file's two as one object.
    const QJsonObject json = QJsonDocument::fromJson(ProvisionReport::jsonLines({row}, run)).object();
    QCOMPARE(json.keys(), [] {
        QStringList keys = ProvisionReport::columns();
        keys.removeOne("fileSha256");
        keys.sort();
        return keys;
    }());
    QCOMPARE(json.value("file").toObject(), (QJsonObject{{"name", file}, {"sha256", "5e1f"}}));
    QCOMPARE(json.value("station").toString(), QString("bench-4"));
    QCOMPARE(json.value("user").toString(), QString("ana"));
    QCOMPARE(json.value("serial").isNull(), !board);
    QCOMPARE(json.value("slot").isNull(), slot.isEmpty());
    QCOMPARE(json.value("message").isNull(), message.isEmpty());
    QCOMPARE(json.value("fields").toArray().size(), 2);
    QCOMPARE(json.value("seconds").toDouble(), 0.321);
}

void TestCliUnits::benchSlots_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");       // part of the message; empty when taken
    QTest::addColumn<QStringList>("sockets"); // "name port", in order

    QTest::newRow("comments, blanks, CR LF")
        << QByteArray("# bench 4\n\nbay-3  /dev/serial/by-path/pci-usb-0:1.3:1.0  # left\r\nbay-1\t/dev/ttyUSB0\n")
        << "" << QStringList{"bay-3 /dev/serial/by-path/pci-usb-0:1.3:1.0", "bay-1 /dev/ttyUSB0"};
    QTest::newRow("a name without a port") << QByteArray("bay-1 /dev/ttyUSB0\nbay-2\n")
                                           << "slots.txt, line 2: a slot is a name and a port" << QStringList();
    QTest::newRow("a name with a blank") << QByteArray("bay 1 /dev/ttyUSB0") << "line 1: a slot is a name and a port"
                                         << QStringList();
    QTest::newRow("a name twice") << QByteArray("bay-1 /dev/a\nbay-1 /dev/b\n")
                                  << "line 2: the slot bay-1 is named on line 1 already" << QStringList();
    QTest::newRow("a port twice") << QByteArray("bay-1 /dev/a\n\nbay-2 /dev/a\n")
                                  << "line 3: /dev/a is the port of slot bay-1 (line 1) already" << QStringList();
    QTest::newRow("no slot") << QByteArray("# nothing yet\n") << "slots.txt names no slot" << QStringList();
}

void TestCliUnits::benchSlots()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(QStringList, sockets);

    const BenchSlotList list = parseBenchSlots(text, "slots.txt");
    QVERIFY2(list.message.contains(error) && list.ok() == error.isEmpty(), qPrintable(list.message));
    QCOMPARE(list.ok() ? ErrorCode::None : ErrorCode::BadFile, list.code);
    QStringList parsed;
    for (const BenchSlot &socket : list.sockets)
        parsed << socket.name + ' ' + socket.port;
    QCOMPARE(parsed, sockets);
}

// On a terminal the lines that stay above the live block come in the order
// of the slots, whatever order the boards finish in, in one set of columns.
void TestCliUnits::liveLinesInBenchOrder()
{
    const QStringList ports{"/dev/ttyUSB7", "/dev/ttyUSB0", "/dev/ttyACM10"};
    QList<Provisioning::BoardRow> rows(3);
    QList<ParallelPorts::PortState> states;
    for (int i = 0; i < 3; ++i) {
        rows[i].port = ports.at(i);
        rows[i].slot = QStringLiteral("bay-%1").arg(i + 1);
        rows[i].outcome = Provisioning::Outcome::Matches;
        states.append({ports.at(i), QString(), Provisioning::Step::Reading});
    }
    QString screen;
    QTextStream out(&screen);
    ProvisionView view(out, ProvisionView::Mode::Live, ports, {"bay-1", "bay-2", "bay-3"}, BenchCommand::Check);
    QStringList stayed; // the lines written above the live block, update by update
    for (const int finished : {2, 0, 1}) {
        states[finished].step = Provisioning::Step::Done;
        screen.clear();
        view.update(states, {finished}, rows);
        out.flush();
        const QString above = screen.section(QStringLiteral("\x1b[?7l"), 0, 0).section(QLatin1Char('\r'), 1);
        for (const QString &line : above.split(QStringLiteral("\x1b[K\n"), Qt::SkipEmptyParts))
            stayed << line;
    }
    QCOMPARE(stayed, QStringList({"bay-1  /dev/ttyUSB7   matches         -                           -",
                                  "bay-2  /dev/ttyUSB0   matches         -                           -",
                                  "bay-3  /dev/ttyACM10  matches         -                           -"}));
}

void TestCliUnits::fileChecks_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<ErrorCode>("problem");
    QTest::addColumn<QString>("named"); // must appear in the message

    const QJsonObject switchFile = validFile("08A3");
    const QJsonObject triggerFile = validFile("04F2");
    const auto row = [](const QString &name, const QJsonObject &file, ErrorCode problem, const QString &named) {
        QTest::newRow(qPrintable(name)) << text(file) << problem << named;
    };
    const auto withTop = [](QJsonObject file, const char *key, const QJsonValue &value) {
        file.insert(key, value);
        return file;
    };

    row("valid 04F2", triggerFile, ErrorCode::None, QString());
    row("08A2 in lower case", withTop(switchFile, "productCode", "08a2"), ErrorCode::None, QString());
    row("extra top-level note", withTop(switchFile, "note", "bench 3"), ErrorCode::None, QString());
    QTest::newRow("empty") << QByteArray() << ErrorCode::BadFile << "malformed JSON at line 1";
    QTest::newRow("top level array") << QByteArray("[1]") << ErrorCode::BadFile << "not a JSON object";
    row("no format", withTop(switchFile, "format", QJsonValue::Undefined), ErrorCode::BadFile, "\"format\"");
    row("newer format", withTop(switchFile, "format", 2), ErrorCode::BadFile, "format version 2");
    row("format as text", withTop(switchFile, "format", "1"), ErrorCode::BadFile, "\"format\"");
    row("unknown product", withTop(switchFile, "productCode", "0800"), ErrorCode::BadFile, "0800");
    row("no config", withTop(switchFile, "config", 5), ErrorCode::BadFile, "\"config\"");
    row("missing channel", withConfigValue(switchFile, "failsafe[11]", QJsonValue::Undefined), ErrorCode::BadFile,
        "missing field failsafe[11] (channel 12");
    row("thirteenth channel", withConfigValue(switchFile, "failsafe[12]", 1000), ErrorCode::BadFile, "failsafe[12]");
    row("gain in a switch file", withConfigValue(switchFile, "inaGain", 1), ErrorCode::BadFile, "inaGain");
    row("groups in a trigger file", withConfigValue(triggerFile, "groups[0].bank", 0), ErrorCode::BadFile, "groups[0]");
    row("active low as number", withConfigValue(switchFile, "trigger.activeLow", 1), ErrorCode::BadFile, "activeLow");
    row("threshold as text", withConfigValue(triggerFile, "trigger.high", "1600"), ErrorCode::BadFile, "trigger.high");
    row("fractional value", withConfigValue(switchFile, "failsafe[3]", 1500.5), ErrorCode::BadFile, "failsafe[3]");
    row("huge value", withConfigValue(switchFile, "failsafe[0]", 1e12), ErrorCode::OutOfRange, "failsafe[0]");
    // Quoted as the file writes it, not as the int (or double) it became.
    QTest::newRow("value past a double's precision")
        << text(withConfigValue(switchFile, "failsafe[0]", 4242)).replace("4242", "18446744073709552616")
        << ErrorCode::OutOfRange << "is 18446744073709552616, allowed";

    // A key named twice is refused with both its lines, whichever one the parser would keep.
    const QString trigger = QStringLiteral(R"("trigger": {"activeLow": false, "high": 1600,%1 "low": 1400})");
    const auto file04F2 = [](const QString &config, const QString &more) {
        return QStringLiteral(R"({"format": 1, "productCode": "04F2", "config": {"inaGain": 1, %1}%2})")
            .arg(config, more)
            .toUtf8();
    };
    const QString twice = QStringLiteral("config.trigger.high is set twice, at lines 1 and 2");
    QTest::newRow("a key twice in one object")
        << file04F2(trigger.arg("\n\"high\": 2000,"), "") << ErrorCode::BadFile << twice;
    QTest::newRow("a key twice, once escaped")
        << file04F2(trigger.arg("\n\"hi\\u0067h\": 2000,"), "") << ErrorCode::BadFile << twice;
    QTest::newRow("two config objects") << file04F2(trigger.arg(""), ",\n\"config\": {}") << ErrorCode::BadFile
                                        << "config is set twice, at lines 1 and 2";
    row("trigger low just below high", withConfigValue(switchFile, "trigger.low", 1599), ErrorCode::None, QString());
    row("trigger low equal to high", withConfigValue(switchFile, "trigger.low", 1600), ErrorCode::OutOfRange,
        "trigger.low is 1600, must be below trigger.high (1600)");
    row("trigger low above high",
        withConfigValue(withConfigValue(triggerFile, "trigger.low", 2000), "trigger.high", 1000), ErrorCode::OutOfRange,
        "trigger.low is 2000, must be below trigger.high (1000)");

    // Each limit is taken and then missed by one, on every field. The file's
    // thresholds are 1400 and 1600, so High at its minimum or Low at its
    // maximum crosses the other one.
    for (const FieldRange &range : numericRanges()) {
        const QJsonObject file = validFile(range.family);
        const QString name = range.family + ' ' + range.path;
        const auto atLimit = [&](const char *which, int value) {
            const bool crossed =
                (range.path == "trigger.high" && value <= 1400) || (range.path == "trigger.low" && value >= 1600);
            row(name + which, withConfigValue(file, range.path, value),
                crossed ? ErrorCode::OutOfRange : ErrorCode::None, crossed ? "must be below trigger.high" : "");
        };
        atLimit(" at min", range.min);
        atLimit(" at max", range.max);
        row(name + " below", withConfigValue(file, range.path, range.min - 1), ErrorCode::OutOfRange, range.path);
        row(name + " above", withConfigValue(file, range.path, range.max + 1), ErrorCode::OutOfRange, range.path);
    }
}

void TestCliUnits::fileChecks()
{
    QFETCH(QByteArray, content);
    QFETCH(ErrorCode, problem);
    QFETCH(QString, named);

    ConfigLoad load = loadConfigForWrite(content);
    // A crossed pair is refused only once the board's own values are known.
    if (const std::optional<CrossedPair> crossed = load.ok() ? crossedPair(load.config) : std::nullopt)
        load = ConfigLoad{{ErrorCode::OutOfRange, crossed->message()}, load.config};
    QVERIFY2(load.code == problem && load.message.contains(named), qPrintable(load.message));
    QVERIFY2(!load.message.contains('\n'), "a failure is reported on one line");
    // diff must still be able to show an out-of-range file against the board.
    QCOMPARE(parseConfigJson(content).ok(), problem != ErrorCode::BadFile);
}

// The size bound met, and missed by a byte, by a configuration padded with spaces.
void TestCliUnits::fileSizeLimit()
{
    QTemporaryDir dir;
    const QByteArray config = QJsonDocument(validFile("08A3")).toJson(QJsonDocument::Compact);
    for (const qint64 size : {qint64(1024 * 1024), qint64(1024 * 1024 + 1)}) {
        QFile file(dir.filePath(QString::number(size)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(config + QByteArray(size - config.size(), ' ')) == size);
        file.close();
        QCOMPARE(ConfigFileRead::readFile(file.fileName()).data.size(), size == 1024 * 1024 ? size : 0);
    }
}

// `history --count 5` of an 8 MB history reads its newest end: the bytes the
// process reads are counted by the system.
void TestCliUnits::historyCountReadsTheNewestEnd()
{
#ifndef Q_OS_LINUX
    QSKIP("the bytes a process reads are counted in Linux's /proc/self/io");
#else
    const auto bytesRead = [] {
        QFile io("/proc/self/io");
        const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
        return text.mid(text.indexOf("rchar: ") + 7).split('\n').first().toLongLong();
    };
    QTemporaryDir dir;
    QFile file(dir.filePath("history.jsonl"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QJsonObject entry =
        ConfigHistory::makeEntry(parseConfigJson(text(validFile("08A3"))).config, "save", "before", "test");
    for (int seq = 1; file.size() < 8 * 1024 * 1024; ++seq) {
        entry.insert("seq", seq);
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    }
    file.close();
    qputenv("HALVERO_HISTORY_FILE", QFile::encodeName(file.fileName()));
    QString listed, errors;
    QTextStream out(&listed), err(&errors);
    const qint64 before = bytesRead();
    QCOMPARE(runCli({"halvero-cli", "history", "--count", "5"}, out, err), 0);
    const qint64 read = bytesRead() - before;
    qunsetenv("HALVERO_HISTORY_FILE");
    QCOMPARE(listed.count('\n'), 5);
    QVERIFY2(before > 0 && read < 512 * 1024, qPrintable(QString::number(read)));
#endif
}

void TestCliUnits::diff_data()
{
    QTest::addColumn<QString>("productCode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QStringList>("differing");
    QTest::addColumn<QString>("label"); // the operator's name for the differing field

    QTest::newRow("same value") << "04F2"
                                << "trigger.high" << QJsonValue(1600) << QStringList{} << QString();
    QTest::newRow("last channel") << "08A3"
                                  << "failsafe[11]" << QJsonValue(1500) << QStringList{"failsafe[11]"}
                                  << "channel 12 failsafe";
    QTest::newRow("group") << "08A3"
                           << "groups[1].refreshRate" << QJsonValue(1) << QStringList{"groups[1].refreshRate"}
                           << "group 2 refresh rate";
    QTest::newRow("bank") << "08A3"
                          << "groups[2].bank" << QJsonValue(1) << QStringList{"groups[2].bank"} << "group 3 bank";
    QTest::newRow("active low") << "04F2"
                                << "trigger.activeLow" << QJsonValue(true) << QStringList{"trigger.activeLow"}
                                << "trigger active low";
    QTest::newRow("low") << "08A3"
                         << "trigger.low" << QJsonValue(1000) << QStringList{"trigger.low"} << "trigger Low";
    QTest::newRow("gain") << "04F2"
                          << "inaGain" << QJsonValue(7) << QStringList{"inaGain"} << "gain";
}

void TestCliUnits::diff()
{
    QFETCH(QString, productCode);
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(QStringList, differing);
    QFETCH(QString, label);

    const BoardConfig board = parseConfigJson(text(validFile(productCode))).config;
    const ConfigLoad file = parseConfigJson(text(withConfigValue(validFile(productCode), path, value)));
    QVERIFY2(file.ok(), qPrintable(file.message));

    QStringList paths;
    for (const FieldDifference &d : diffConfigs(board, file.config)) {
        paths << d.field.path;
        QCOMPARE(d.field.label(), label);
        QCOMPARE(formatValue(d.field, d.file), value.isBool() ? QString("true") : QString::number(value.toInt()));
        QCOMPARE(d.board, board.values.value(path));
    }
    QCOMPARE(paths, differing);
}

void TestCliUnits::statusNumbers_data()
{
    QTest::addColumn<float>("battery");
    QTest::addColumn<float>("temperature");
    QTest::addColumn<QString>("shown");

    // The float nearest 12.4 must not show its binary noise.
    QTest::newRow("tenths")
        << 12.4f << 21.5f
        << "battery 12.4 V  trigger 0 V  fuse probe 0 A  fuse 0 A  fuse peak 0 A  temperature 21.5 \u00B0C";
    QTest::newRow("whole, negative")
        << 51.0f << -25.0f
        << "battery 51 V  trigger 0 V  fuse probe 0 A  fuse 0 A  fuse peak 0 A  temperature -25 \u00B0C";
}

void TestCliUnits::statusNumbers()
{
    QFETCH(float, battery);
    QFETCH(float, temperature);
    QFETCH(QString, shown);

    parachuteRadioComm record(QString(), 9600); // no port: a bare record
    record.productCodeHigh = 0x04;
    record.productCodeLow = 0xF2;
    record.batteryVoltage = battery;
    record.temperature = temperature;
    QCOMPARE(statusLine(record), shown);
    QCOMPARE(statusJson(record).value("batteryVoltage_V").toDouble(), QString::number(battery).toDouble());
}

// A status reply whose every field has a raw value of its own, so that two
// fields read from each other's bytes or named with each other's key show.
void TestCliUnits::statusFields_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("line");

    QTest::newRow("04F2")
        << QByteArray::fromHex("0404f20001"
                               "005a00"
                               "03090b7d"
                               "00000000000000"
                               "3e")
        << R"({"batteryVoltage_V":12.4,"fuseCurrent_A":9,"fusePeakCurrent_A":11,)"
           R"("fuseProbeCurrent_A":6,"temperature_C":20,"triggerVoltage_V":12.5})"
        << "battery 12.4 V  trigger 12.5 V  fuse probe 6 A  fuse 9 A  fuse peak 11 A  temperature 20 \u00B0C";
    QTest::newRow("08A3, trigger pulse") << QByteArray::fromHex(
        "0408a30103"
        "00"
        "05dc"
        "0032"
        "01"
        "00") << R"({"switch":"NORMAL","triggerFrequency_Hz":50,"triggerPresent":true,"triggerValue_us":1500})"
                                         << "NORMAL  trigger 1500 us  50 Hz";
    // Without the pulse the board's reading is stale: left out.
    QTest::newRow("08A3, failsafe") << QByteArray::fromHex("0408a30103"
                                                           "00"
                                                           "05dc"
                                                           "0032"
                                                           "00"
                                                           "01")
                                    << R"({"switch":"FAILSAFE","triggerPresent":false})"
                                    << "FAILSAFE  trigger none";
}

void TestCliUnits::statusFields()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, json);
    QFETCH(QString, line);

    parachuteRadioComm record(QString(), 9600);
    QCOMPARE(int(record.parseRxMessage(reply)), int(USBmsgStatus));
    QCOMPARE(QString::fromUtf8(QJsonDocument(statusJson(record)).toJson(QJsonDocument::Compact)), json);
    QCOMPARE(statusLine(record), line);
}

void TestCliUnits::openFailure_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("qtError");
    QTest::addColumn<int>("probeErrno"); // -1: no probe was possible
    QTest::addColumn<OpenFailure>("expected");
    QTest::addColumn<QString>("hint");

    QTest::newRow("no access") << QSerialPort::PermissionError << EACCES << OpenFailure::Permission << "dialout";
    QTest::newRow("exclusive use") << QSerialPort::PermissionError << EBUSY << OpenFailure::Busy << "busy or locked";
    QTest::newRow("lock file held") << QSerialPort::PermissionError << 0 << OpenFailure::Busy << "busy or locked";
    QTest::newRow("unplugged") << QSerialPort::DeviceNotFoundError << ENOENT << OpenFailure::Gone << "unplugged";
    QTest::newRow("hung up") << QSerialPort::PermissionError << EIO << OpenFailure::Gone << "unplugged";
    QTest::newRow("no probe, permission") << QSerialPort::PermissionError << -1 << OpenFailure::Permission << "dialout";
    QTest::newRow("no probe, resource") << QSerialPort::ResourceError << -1 << OpenFailure::Gone << "unplugged";
    QTest::newRow("anything else") << QSerialPort::UnsupportedOperationError << 0 << OpenFailure::Other << "strange";
}

void TestCliUnits::openFailure()
{
    QFETCH(QSerialPort::SerialPortError, qtError);
    QFETCH(int, probeErrno);
    QFETCH(OpenFailure, expected);
    QFETCH(QString, hint);

    const OpenFailure failure = classifyOpenFailure(qtError, probeErrno);
    QCOMPARE(failure, expected);
    const QString message = openFailureMessage(failure, "ttyUSB0", "strange");
    QVERIFY2(message.contains("ttyUSB0") && message.contains(hint), qPrintable(message));
}

void TestCliUnits::portById_data()
{
    QTest::addColumn<QString>("location"); // inside a made-up /dev
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("link"); // expected, empty for none

    QTest::newRow("relative link, as udev makes it") << "ttyACM0"
                                                     << "serial/by-id"
                                                     << "usb-Halvero_08A3_17-if00";
    QTest::newRow("absolute link") << "ttyUSB0"
                                   << "serial/by-id"
                                   << "usb-FTDI_FT232R_A1-if00-port0";
    QTest::newRow("port named through a link") << "board"
                                               << "serial/by-id"
                                               << "usb-Halvero_08A3_17-if00";
    QTest::newRow("no link to the port") << "ttyS0"
                                         << "serial/by-id"
                                         << "";
    QTest::newRow("no such folder") << "ttyACM0"
                                    << "serial/by-path"
                                    << "";
}

void TestCliUnits::portById()
{
    QFETCH(QString, location);
    QFETCH(QString, folder);
    QFETCH(QString, link);

    QTemporaryDir dev;
    QVERIFY(QDir(dev.path()).mkpath("serial/by-id"));
    for (const char *name : {"ttyACM0", "ttyUSB0", "ttyS0"}) {
        QFile device(dev.filePath(name));
        QVERIFY(device.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link("../../ttyACM0", dev.filePath("serial/by-id/usb-Halvero_08A3_17-if00")));
    QVERIFY(QFile::link(dev.filePath("ttyUSB0"), dev.filePath("serial/by-id/usb-FTDI_FT232R_A1-if00-port0")));
    QVERIFY(QFile::link(dev.filePath("ttyACM0"), dev.filePath("board")));

    const QString found = linkInFolderTo(dev.filePath(location), dev.filePath(folder));
    QCOMPARE(found, link.isEmpty() ? QString() : dev.filePath(folder + '/' + link));
}

void TestCliUnits::usbId_data()
{
    QTest::addColumn<bool>("hasVendor");
    QTest::addColumn<bool>("hasProduct");
    QTest::addColumn<QString>("shown");

    QTest::newRow("both") << true << true << "0483:5740";
    QTest::newRow("vendor only") << true << false << "0483:-";
    QTest::newRow("not USB") << false << false << "";
}

void TestCliUnits::usbId()
{
    QFETCH(bool, hasVendor);
    QFETCH(bool, hasProduct);
    QFETCH(QString, shown);

    PortFacts port;
    port.hasVendorId = hasVendor;
    port.vendorId = 0x0483;
    port.hasProductId = hasProduct;
    port.productId = 0x5740;
    QCOMPARE(usbIdText(port), shown);
    const QJsonObject json = portJson(port);
    QCOMPARE(json.value("vendorId").toString(), hasVendor ? QString("0483") : QString());
    QCOMPARE(json.value("productId").isNull(), !hasProduct);
}

QTEST_GUILESS_MAIN(TestCliUnits)
#include "tst_cliunits.moc"
