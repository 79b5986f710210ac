// The history file: where it lives, what an entry must hold before it is
// appended (historycommit.cpp puts it on the disk), and reading it back past
// damaged lines (historyreader.cpp reads it).
#include "confighistory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#if defined(Q_OS_UNIX)
#include <pwd.h>
#include <unistd.h>
#endif

#include "halvero_version.h"
#include "historycommit.h"
#include "historyreader.h"

namespace ConfigHistory {

namespace {

const QString keyId = QStringLiteral("id");

} // namespace

SourceFile SourceFile::of(const QString &name, const QByteArray &bytes)
{
    return {name, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())};
}

QJsonObject SourceFile::toJson() const
{
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("sha256"), sha256}};
}

SourceFile SourceFile::fromJson(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    return {object.value(QStringLiteral("name")).toString(), object.value(QStringLiteral("sha256")).toString()};
}

QString normalSerial(const QString &serial)
{
    const QString upper = serial.trimmed().toUpper();
    return upper.startsWith(QLatin1String("0X")) ? upper.mid(2) : upper;
}

QString localTime(const QString &iso)
{
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : iso;
}

Entry parseEntry(const QByteArray &line, QString *why)
{
    Entry entry;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = QStringLiteral("not JSON: %1")
                   .arg(error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("no object"));
        return entry;
    }
    const ConfigLoad load = parseConfigObject(document.object());
    if (!load.ok()) {
        *why = load.message;
        return entry;
    }
    entry.json = document.object();
    entry.config = load.config;
    entry.event = entry.json.value(QStringLiteral("event")).toString();
    entry.phase = entry.json.value(QStringLiteral("phase")).toString();
    entry.tool = entry.json.value(QStringLiteral("tool")).toString();
    entry.time = entry.json.value(QStringLiteral("time")).toString();
    entry.writeId = entry.json.value(keyWriteId).toString();
    // What a bench run adds is read as far as it is there: an entry is a
    // configuration first, and stays one to a reader that knows none of it.
    entry.file = SourceFile::fromJson(entry.json.value(keyFile));
    entry.outcome = entry.json.value(keyOutcome).toString();
    for (const QJsonValue &field : entry.json.value(keyDiffers).toArray())
        entry.differs << field.toString();
    entry.differs.removeAll(QString());
    if (entry.event.isEmpty() || entry.tool.isEmpty() || entry.time.isEmpty()
        || (entry.phase != phaseBefore && entry.phase != phaseIntent && entry.phase != phaseAfter))
        *why = QStringLiteral("no event, phase, tool or time");
    // Entries written before ids were given have none; an id that is there
    // names the entry wherever it is copied, so it has to be one.
    const QJsonValue id = entry.json.value(keyId);
    if (!id.isUndefined() && QUuid::fromString(id.toString()).isNull())
        *why = QStringLiteral("\"id\" is no entry id");
    // Entries written before numbers were kept have none; they are counted.
    const QJsonValue seq = entry.json.value(keySeq);
    if (!seq.isUndefined()) {
        const double number = seq.toDouble(-1);
        if (number < 1 || number > 1e15 || number != std::floor(number))
            *why = QStringLiteral("\"seq\" is no entry number");
        else
            entry.index = qint64(number);
    }
    return entry;
}

QString defaultPath()
{
    const QString overridden = qEnvironmentVariable("HALVERO_HISTORY_FILE");
    if (!overridden.isEmpty())
        return overridden;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/halvero/history.jsonl");
}

bool disabledByEnvironment()
{
    const QString value = qEnvironmentVariable("HALVERO_HISTORY").trimmed().toLower();
    return value == QLatin1String("off") || value == QLatin1String("0") || value == QLatin1String("no")
           || value == QLatin1String("false");
}

QString previousPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return path + QStringLiteral(".1");
    return path.chopped(suffix.size() + 1) + QStringLiteral(".1.") + suffix;
}

QString stationName()
{
    const QString station = qEnvironmentVariable("HALVERO_STATION").trimmed();
    return station.isEmpty() ? QSysInfo::machineHostName() : station;
}

QString loginName()
{
    // What the system's login sets; a service without one is still someone.
    for (const char *variable : {"USER", "USERNAME", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable).trimmed();
        if (!name.isEmpty())
            return name;
    }
#if defined(Q_OS_UNIX)
    if (const passwd *account = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return QStringLiteral("unknown");
}

QJsonObject makeEntry(const BoardConfig &config, const QString &event, const QString &phase, const QString &tool,
                      const QDateTime &time)
{
    static const QString station = stationName();
    static const QString login = loginName();
    QJsonObject entry = configToJson(config);
    entry.insert(keyId, QUuid::createUuid().toString(QUuid::WithoutBraces));
    entry.insert(QStringLiteral("station"), station);
    entry.insert(QStringLiteral("user"), login);
    entry.insert(QStringLiteral("version"), QStringLiteral(HALVERO_VERSION));
    entry.insert(QStringLiteral("event"), event);
    entry.insert(QStringLiteral("phase"), phase);
    entry.insert(QStringLiteral("tool"), tool);
    entry.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODateWithMs));
    return entry;
}

HistoryFile::HistoryFile(const QString &path, qint64 rotateBytes)
    : m_path(path)
    , m_rotateBytes(rotateBytes)
{}

Result HistoryFile::append(const QJsonObject &entry)
{
    const auto fail = [](const QString &why) { return Result::failure(ErrorCode::History, why); };
    if (m_path.isEmpty())
        return fail(QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)"));
    // What is recorded must be restorable; anything else would only turn up
    // later as a damaged line.
    QString why;
    const Entry parsed = parseEntry(QJsonDocument(entry).toJson(QJsonDocument::Compact), &why);
    if (!why.isEmpty())
        return fail(QStringLiteral("not a complete entry: %1").arg(why));

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    const Result committed = commitEntry(m_path, m_rotateBytes, entry);
    if (!committed.ok())
        return committed;
    qCDebug(lcHistory).noquote() << "Recorded" << parsed.event << parsed.phase << "in" << m_path;
    return Result();
}

ReadResult HistoryFile::read() const
{
    ReadResult result;
    HistoryReader reader(m_path);
    reader.setChangesWanted(false);
    if (const Result started = reader.start(); !started.ok()) {
        static_cast<Result &>(result) = started;
        return result;
    }
    while (!reader.atEnd()) {
        for (ListedEntry &listed : reader.next(1024))
            result.entries.append(std::move(listed.entry));
        result.warnings << reader.takeWarnings();
    }
    std::reverse(result.entries.begin(), result.entries.end());
    std::reverse(result.warnings.begin(), result.warnings.end());
    qCDebug(lcHistory).noquote() << "Read" << result.entries.size() << "entries," << result.warnings.size()
                                 << "damaged, from" << m_path;
    return result;
}

} // namespace ConfigHistory
