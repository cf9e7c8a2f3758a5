#pragma once

#include "datapacket.h"
#include "tfield.h"

#include <QList>
#include <QObject>

// In-memory table with persistent field objects, a filter with an on/off switch and a cursor.
// Loading a packet replaces the whole content; the dataset is then open on its first record.
class TClientDataSet : public QObject {
    Q_OBJECT
public:
    explicit TClientDataSet(QObject* parent = nullptr);

    // Persistent fields, in their defined order; the field object is named after the dataset and field.
    TField* AddField(const QString& fieldName, TFieldType type, int size = 0);
    const QList<TField*>& Fields() const { return m_fields; }
    TField* FindField(const QString& fieldName) const;   // ignoring letter case; nullptr when absent
    TField* FieldByName(const QString& fieldName) const; // throws EDatabaseError when absent

    // Throws EDatabaseError when the packet lacks one of the persistent fields or carries it with another
    // type, or when a row does not fit the definitions. Changes nothing.
    void CheckPacket(const TDataPacket& packet) const;
    // CheckPacket, then replaces the content and opens the dataset on its first record.
    void SetData(const TDataPacket& packet);

    bool Active() const { return m_active; }
    void Open();
    void Close(); // empties the dataset

    // Filter: only "FIELD = 'text'" and "FIELD <> 'text'". An expression of another shape is refused when
    // it is applied (set while filtered, or switched on).
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& expression);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool on);

    // Cursor over the filtered view.
    void First();
    void Next();
    bool Eof() const;
    bool IsEmpty() const { return m_view.isEmpty(); }
    int RecNo() const;        // 1-based within the filtered view; 0 when empty
    int RecordCount() const { return static_cast<int>(m_view.size()); }

    // Value of the field at a view row, without moving the cursor.
    QVariant ValueAt(int viewRow, int fieldIndex) const;
    // Value of the field for the record the cursor (or a painting grid) presents.
    QVariant CurrentValue(int fieldIndex) const;

    // While alive, the fields read the given view row instead of the cursor's record.
    class RecordScope {
    public:
        RecordScope(const TClientDataSet* dataSet, int viewRow);
        ~RecordScope();
        RecordScope(const RecordScope&) = delete;
        RecordScope& operator=(const RecordScope&) = delete;

    private:
        const TClientDataSet* m_dataSet;
        int m_previous;
    };

signals:
    void contentReplaced(); // new packet, open, close or a different filtered view
    void cursorMoved();

private:
    struct Condition {
        int field = -1;
        bool equal = true;
        QString text;
    };
    Condition parseFilter(const QString& expression) const;
    void rebuildView();
    int rowOfCurrent() const;

    QList<TField*> m_fields;
    QVector<QVector<QVariant>> m_rows; // in the order of m_fields
    QVector<int> m_view;
    int m_pos = 0;
    bool m_eof = true;
    bool m_active = false;
    QString m_filter;
    bool m_filtered = false;
    mutable int m_paintRow = -1;
};
