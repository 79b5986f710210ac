// A walk over JSON text that only tracks where it is: the text was parsed
// already, so it is well formed and no deeper than the parser allows.
#include "jsonliteral.h"

namespace {

class LiteralFinder
{
public:
    LiteralFinder(const QByteArray &json, const QString &target)
        : m_at(json.constData()), m_end(json.constData() + json.size()), m_target(target)
    {
    }

    QString find()
    {
        value(QString());
        return m_found;
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

    void value(const QString &path)
    {
        skipSpace();
        if (m_at >= m_end)
            return;
        if (take('{')) {
            if (take('}'))
                return;
            do {
                const QString key = string();
                take(':');
                value(path.isEmpty() ? key : path + QLatin1Char('.') + key);
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
            if (path == m_target)
                m_found = QString::fromLatin1(start, m_at - start);
        }
    }

    const char *m_at;
    const char *m_end;
    QString m_target;
    QString m_found;
};

} // namespace

QString jsonLiteralAt(const QByteArray &json, const QString &path)
{
    return LiteralFinder(json, path).find();
}
