// A walk over JSON text that only tracks where it is: the text was parsed
// already, so it is well formed and no deeper than the parser allows.
#include "jsonliteral.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace {

class JsonTextWalk
{
public:
    explicit JsonTextWalk(const QByteArray &json)
        : m_begin(json.constData())
        , m_at(json.constData())
        , m_end(json.constData() + json.size())
    {}

    QString literalAt(const QString &target)
    {
        m_target = target;
        value(QString());
        return m_found;
    }

    std::optional<RepeatedKey> repeatedKey()
    {
        m_findRepeats = true;
        value(QString());
        return m_repeated;
    }

private:
    void skipSpace()
    {
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\r' || *m_at == '\n'))
            ++m_at;
    }

    bool take(char c)
    {
        skipSpace();
        if (m_at < m_end && *m_at == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    // A string's raw text; escapes are kept as written.
    QString string()
    {
        skipSpace();
        if (m_at >= m_end || *m_at != '"')
            return QString();
        const char *start = ++m_at;
        while (m_at < m_end && *m_at != '"')
            m_at += *m_at == '\\' ? 2 : 1;
        const QString text = QString::fromUtf8(start, qMin(m_at, m_end) - start);
        ++m_at;
        return text;
    }

    // A key as the parser reads it: "hi\u0067h" is "high".
    static QString decoded(const QString &raw)
    {
        if (!raw.contains(QLatin1Char('\\')))
            return raw;
        const QJsonDocument wrapped = QJsonDocument::fromJson("[\"" + raw.toUtf8() + "\"]");
        return wrapped.array().at(0).toString(raw);
    }

    int lineOf(const char *at) const { return int(std::count(m_begin, at, '\n')) + 1; }

    void value(const QString &path)
    {
        skipSpace();
        if (m_at >= m_end || m_repeated)
            return;
        if (take('{')) {
            if (take('}'))
                return;
            QHash<QString, const char *> seen; // key to where it was named
            do {
                skipSpace();
                const char *keyAt = m_at;
                const QString key = m_findRepeats ? decoded(string()) : string();
                const QString keyPath = path.isEmpty() ? key : path + QLatin1Char('.') + key;
                if (m_findRepeats && !m_repeated) {
                    if (const auto first = seen.constFind(key); first != seen.constEnd())
                        m_repeated = RepeatedKey{keyPath, lineOf(*first), lineOf(keyAt)};
                    seen.insert(key, keyAt);
                }
                take(':');
                value(keyPath);
            } while (take(','));
            take('}');
        } else if (take('[')) {
            if (take(']'))
                return;
            int index = 0;
            do
                value(path + QStringLiteral("[%1]").arg(index++));
            while (take(','));
            take(']');
        } else if (*m_at == '"') {
            string();
        } else {
            const char *start = m_at;
            while (m_at < m_end && *m_at != ',' && *m_at != ']' && *m_at != '}' && *m_at != ' ' && *m_at != '\t'
                   && *m_at != '\r' && *m_at != '\n')
                ++m_at;
            if (!m_findRepeats && path == m_target)
                m_found = QString::fromLatin1(start, m_at - start);
        }
    }

    const char *m_begin;
    const char *m_at;
    const char *m_end;
    QString m_target;
    QString m_found;
    bool m_findRepeats = false;
    std::optional<RepeatedKey> m_repeated;
};

} // namespace

QString jsonLiteralAt(const QByteArray &json, const QString &path)
{
    return JsonTextWalk(json).literalAt(path);
}

std::optional<RepeatedKey> firstRepeatedKey(const QByteArray &json)
{
    return JsonTextWalk(json).repeatedKey();
}
