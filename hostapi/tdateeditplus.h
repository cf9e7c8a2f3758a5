#pragma once

#include "tcolor.h"
#include "tdatetime.h"

#include <QAbstractSpinBox>
#include <QIcon>
#include <QStringList>

// Masked dd/mm/yyyy date editor with up/down buttons. It holds one date, or none when its text has been
// cleared; a text that is no calendar date (31/02/2026) is kept as typed and reported as invalid.
// The up/down buttons (and keys) step the day, month or year under the cursor.
class TDateEditPlus : public QAbstractSpinBox {
    Q_OBJECT
    Q_PROPERTY(int ValidDateColor READ ValidDateColor WRITE SetValidDateColor)
    Q_PROPERTY(TEditStyle EditStyle READ EditStyle WRITE SetEditStyle)
    Q_PROPERTY(bool ShowDia READ ShowDia WRITE SetShowDia)
    Q_PROPERTY(bool SaveTime READ SaveTime WRITE SetSaveTime)
    Q_PROPERTY(QStringList NomeSemana READ NomeSemana WRITE SetNomeSemana)
    Q_PROPERTY(QIcon ButtonBitmap READ ButtonBitmap WRITE SetButtonBitmap)
public:
    enum TEditStyle { desNone, desUpDown, desButton };
    Q_ENUM(TEditStyle)

    explicit TDateEditPlus(QWidget* parent = nullptr);

    void SetDate(TDateTime value);
    TDateTime GetDate() const;     // 0 when no valid date is entered
    TDateTime GetPrimDia() const;  // first day of the month of GetDate
    // True when the text is a valid date, or when no date has been entered.
    bool IsDateValid() const;
    // The editor's text; blank when no date has been entered.
    QString Text() const;
    void SetText(const QString& text);
    void Clear();
    void SetFocus();

    TColor ValidDateColor() const { return m_validDateColor; }
    void SetValidDateColor(TColor color);
    TEditStyle EditStyle() const { return m_editStyle; }
    void SetEditStyle(TEditStyle style);
    bool ShowDia() const { return m_showDia; }
    void SetShowDia(bool show);
    bool SaveTime() const { return m_saveTime; }
    void SetSaveTime(bool save) { m_saveTime = save; }
    QStringList NomeSemana() const { return m_nomeSemana; }
    void SetNomeSemana(const QStringList& names);
    QIcon ButtonBitmap() const { return m_buttonBitmap; }
    void SetButtonBitmap(const QIcon& icon) { m_buttonBitmap = icon; }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    QDate parsed() const;
    bool hasEntry() const;
    void refreshLook();

    TColor m_validDateColor = clWindowText;
    TEditStyle m_editStyle = desUpDown;
    bool m_showDia = false;
    bool m_saveTime = false;
    double m_time = 0.0; // fraction of the day kept when SaveTime is on
    QStringList m_nomeSemana;
    QIcon m_buttonBitmap;
};
