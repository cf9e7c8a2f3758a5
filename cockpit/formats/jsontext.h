#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace cockpit {

// The view's JSON written straight into text: building it as QJsonObjects first cost several times the
// database call it follows.
class JsonText {
public:
    JsonText() { m_out.reserve(32 * 1024); }

    void open(char bracket)
    {
        separate();
        m_out += bracket;
        m_first = true;
    }
    void close(char bracket)
    {
        m_out += bracket;
        m_first = false;
    }
    void key(const char* name)
    {
        separate();
        m_out += '"';
        m_out += name;
        m_out += "\":";
        m_first = true;
    }
    void key(const QString& name)
    {
        string(name);
        m_out += ':';
        m_first = true;
    }
    void string(const QString& text)
    {
        separate();
        m_out += '"';
        for (const char c : text.toUtf8()) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += c;
            } else if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                m_out += escaped;
            } else {
                m_out += c;
            }
        }
        m_out += '"';
    }
    // As QJsonDocument writes numbers: the shortest form that reads back the same; null when not finite.
    void number(double v)
    {
        separate();
        if (!std::isfinite(v)) {
            m_out += "null";
            return;
        }
        char buf[32];
        const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
        m_out.append(buf, end - buf);
    }
    void boolean(bool v)
    {
        separate();
        m_out += v ? "true" : "false";
    }
    void strings(const QHash<QString, QString>& items)
    {
        open('{');
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            key(it.key());
            string(it.value());
        }
        close('}');
    }
    const QByteArray& text() const { return m_out; }

private:
    void separate()
    {
        if (!m_first)
            m_out += ',';
        m_first = false;
    }

    QByteArray m_out;
    bool m_first = true;
};

} // namespace cockpit
