#pragma once

#include "tcanvas.h"
#include "tclientdataset.h" // tdatasource.h needs the complete type
#include "tcolor.h"
#include "tcolumn.h"
#include "tdatasource.h"

#include <QFont>
#include <QPointer>
#include <QHash>
#include <QTableView>
#include <memory>
#include <vector>

class TDataSetModel;

enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

// Read-only data grid over the dataset of a data source. Columns are bound to fields by name; the title
// row shows the fields' display labels on FixedColor; cells show the fields' display texts, text left and
// numbers right. No row indicator, no lines, no editing, no column resizing or moving; Tab leaves the grid.
// Below the last row the grid shows its background colour. The current cell shows no selection colour.
class TDBGrid : public QTableView
{
    Q_OBJECT
    // One entry per column: "FIELD,width" or "FIELD,width,taRightJustify" (taLeftJustify, taCenter).
    Q_PROPERTY(QStringList Columns READ ColumnsDefinition WRITE SetColumnsDefinition)
    // Name of the window's data source; bound by LinkDataSource once the window's components exist.
    Q_PROPERTY(QString DataSourceName READ DataSourceName WRITE SetDataSourceName)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int FixedColor READ FixedColor WRITE SetFixedColor)
    Q_PROPERTY(int FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(QFont TitleFont READ TitleFont WRITE SetTitleFont)
    Q_PROPERTY(int TitleFontColor READ TitleFontColor WRITE SetTitleFontColor)
    Q_PROPERTY(bool DefaultColors READ DefaultColors WRITE SetDefaultColors)
    // The scale the grid is drawn at (DesignScale): column widths are the definition's times this.
    Q_PROPERTY(double Zoom READ Zoom WRITE SetZoom STORED false)
    // What the list is called in a spreadsheet's file name ("top10"); the grid's name when empty.
    Q_PROPERTY(QString CsvName READ CsvName WRITE SetCsvName)
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* dataSource);
    // Binds the data source named DataSourceName among the owner's components, ignoring letter case.
    // Returns false when there is none.
    bool LinkDataSource(const QObject* owner);
    QString DataSourceName() const { return m_dataSourceName; }
    void SetDataSourceName(const QString& name) { m_dataSourceName = name; }
    TClientDataSet* DataSet() const;

    QStringList ColumnsDefinition() const;
    void SetColumnsDefinition(const QStringList& definition);
    TColumn* AddColumn(const QString& fieldName, int width, Qt::Alignment titleAlignment = Qt::AlignLeft);
    void ClearColumns();
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    TColumn* Column(int index) const;
    // Width of all columns together as drawn: where the last column ends, from the grid's left edge.
    int ColumnsWidth() const;
    // The grid's rows as a spreadsheet reads them (CsvText): the columns' titles, then each record's values
    // as numbers and texts, not as the grid formats them. Its context menu saves this to a file.
    QByteArray CsvText() const;
    QString CsvName() const { return m_csvName; }
    void SetCsvName(const QString& name) { m_csvName = name; }
    // The period the rows are of ("2026-11"), which the proposed file name carries after the list's name.
    void SetCsvPeriod(const QString& period) { m_csvPeriod = period; }
    // The name the context menu proposes: "top10-2026-11.csv".
    QString CsvFileName() const;
    // A last column of the spreadsheet that the dataset does not hold (how many months a listed branch has
    // been there): its title and one value per record, in order. An empty title leaves it out.
    void SetCsvExtraColumn(const QString& title, const QList<QVariant>& values)
    {
        m_csvExtraTitle = title;
        m_csvExtraValues = values;
    }

    double Zoom() const { return m_zoom; }
    void SetZoom(double zoom);

    // Background below and between cells, and the colour a cell's brush starts with.
    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    TColor FixedColor() const { return m_fixedColor; }
    void SetFixedColor(TColor color);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);
    QFont TitleFont() const { return m_titleFont; }
    void SetTitleFont(const QFont& font);
    TColor TitleFontColor() const { return m_titleFontColor; }
    void SetTitleFontColor(TColor color);
    // Switching it on puts the grid back on the desktop's window colour (clWindow); the title colour,
    // fonts and the colours set afterwards are left alone.
    bool DefaultColors() const { return m_defaultColors; }
    void SetDefaultColors(bool on);
    // Colours a cell's brush paints in place of others, whoever chose them (the drawing handler included):
    // how a page for a printer turns the dark rows light. Empty for none.
    void SetBrushSubstitutes(const QHash<TColor, TColor>& substitutes) { m_brushSubstitutes = substitutes; }

    int TitleHeight() const;
    int RowHeight() const;

    TCanvas* Canvas() { return &m_canvas; }

    // The standard drawing of a data cell: fills the rectangle with the canvas brush colour and writes the
    // column field's display text in the cell font, aligned as the field is, clipped to the cell. Does
    // nothing outside the grid's painting.
    void DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn* column, TGridDrawState state);

signals:
    // Cell drawing: sender, the cell's rectangle in the grid's viewport, the column's index, the column and
    // the cell's drawing state. While it runs, the grid's dataset presents the record being painted. A
    // handler that fails is reported once, after the paint, and not called again until the data changes.
    void OnDrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column, TGridDrawState state);
    // The grid's key presses; a handler that sets the key to the null character stops the grid's own handling.
    void OnKeyPress(QObject* sender, QChar& key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class CellDelegate;
    class TitleRow;
    friend class CellDelegate;
    friend class TitleRow;

    void rebind();
    void applyColumns();
    void applyPalette();
    void updateMetrics();
    int columnOfSection(int logicalSection) const;
    int drawnWidth(const TColumn& column) const;
    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

    std::vector<std::unique_ptr<TColumn>> m_columns;
    TDataSetModel* m_model;
    TitleRow* m_titleRow;
    QPointer<TDataSource> m_dataSource;
    QMetaObject::Connection m_sourceConnection;
    QString m_dataSourceName;
    TCanvas m_canvas;
    TColor m_color = clWindow;
    TColor m_fixedColor = 0xC0C0C0;
    TColor m_fontColor = clWindowText;
    TColor m_titleFontColor = clWindowText;
    QFont m_titleFont;
    bool m_defaultColors = false;
    bool m_drawEventFailed = false;
    QHash<TColor, TColor> m_brushSubstitutes;
    double m_zoom = 1.0;
    QString m_csvName;
    QString m_csvExtraTitle;
    QList<QVariant> m_csvExtraValues;
    QString m_csvPeriod;
};
