#pragma once

#include <QObject>
#include <QStringList>

// Keyed message table: lines of the form key|text.
class TMessages : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Messages READ Messages WRITE SetMessages)
public:
    explicit TMessages(QObject* parent = nullptr) : QObject(parent) {}

    QStringList Messages() const { return m_lines; }
    void SetMessages(const QStringList& lines) { m_lines = lines; }

    // Everything after the first '|' of the first line whose key equals `key` (letter case counts),
    // trailing blanks included; an empty text when no line has that key.
    QString Msg(const QString& key) const;

private:
    QStringList m_lines;
};
