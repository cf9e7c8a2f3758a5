#include "tdbgrid.h"

#include "csvmenu.h"
#include "presentation.h"

#include <QContextMenuEvent>

#include "tform.h"

#include "eventboundary.h"
#include "tclientdataset.h"
#include "tdatasetmodel.h"
#include "tdatasource.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

// Every data cell goes through the grid's own drawing, so the drawing event decides its colours.
class TDBGrid::CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_grid->paintCell(painter, option, index);
    }
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return nullptr;
    }

private:
    TDBGrid* m_grid;
};

// The title row: the fields' display labels on FixedColor, each aligned as its column says.
class TDBGrid::TitleRow : public QHeaderView
{
public:
    explicit TitleRow(TDBGrid* grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid)
    {
        setSectionsClickable(false);
        setSectionsMovable(false);
        setHighlightSections(false);
        setSectionResizeMode(QHeaderView::Fixed);
        setMinimumSectionSize(1);
        setStretchLastSection(false);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter p(viewport());
            p.fillRect(viewport()->rect(), ToQColor(m_grid->m_color));
        }
        QHeaderView::paintEvent(event);
    }
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        const int c = m_grid->columnOfSection(logicalIndex);
        if (c < 0)
            return;
        TColumn* column = m_grid->m_columns[c].get();
        painter->save();
        painter->setClipRect(rect);
        painter->fillRect(rect, ToQColor(m_grid->m_fixedColor));
        const QString title = column->Field() ? column->Field()->DisplayLabel() : column->FieldName();
        painter->setFont(m_grid->m_titleFont);
        painter->setPen(ToQColor(m_grid->m_titleFontColor));
        painter->drawText(rect.adjusted(2, 0, -2, 0),
                          static_cast<int>(column->TitleAlignment()) | Qt::AlignVCenter | Qt::TextSingleLine,
                          title);
        painter->restore();
    }

private:
    TDBGrid* m_grid;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), m_model(new TDataSetModel(this))
{
    m_titleRow = new TitleRow(this);
    setHorizontalHeader(m_titleRow);
    setModel(m_model);
    // The header forgets hidden and moved sections on a reset; put the columns back every time.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_drawEventFailed = false;
        applyColumns();
    });
    setItemDelegate(new CellDelegate(this));

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setShowGrid(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(true);
    m_titleFont = font();
    applyPalette();
    updateMetrics();
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(TDataSource* dataSource)
{
    if (m_dataSource == dataSource)
        return;
    disconnect(m_sourceConnection);
    m_dataSource = dataSource;
    if (dataSource) {
        m_sourceConnection = connect(dataSource, &TDataSource::dataSetChanged, this, &TDBGrid::rebind);
        if (m_dataSourceName.isEmpty())
            m_dataSourceName = dataSource->objectName();
    }
    rebind();
}

bool TDBGrid::LinkDataSource(const QObject* owner)
{
    if (!owner || m_dataSourceName.isEmpty())
        return false;
    const auto sources = owner->findChildren<TDataSource*>();
    for (TDataSource* s : sources)
        if (s->objectName().compare(m_dataSourceName, Qt::CaseInsensitive) == 0) {
            SetDataSource(s);
            return true;
        }
    return false;
}

TClientDataSet* TDBGrid::DataSet() const
{
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

void TDBGrid::rebind()
{
    m_drawEventFailed = false;
    TClientDataSet* ds = DataSet();
    for (auto& c : m_columns)
        c->SetField(ds ? ds->FindField(c->FieldName()) : nullptr);
    if (m_model->DataSet() != ds)
        m_model->SetDataSet(ds); // resets, which reapplies the columns
    else
        applyColumns();
}

namespace
{

QString alignmentName(Qt::Alignment a)
{
    if (a & Qt::AlignRight)
        return QStringLiteral("taRightJustify");
    if (a & Qt::AlignHCenter)
        return QStringLiteral("taCenter");
    return QStringLiteral("taLeftJustify");
}

Qt::Alignment alignmentOf(const QString& name)
{
    if (name.compare(QLatin1String("taRightJustify"), Qt::CaseInsensitive) == 0)
        return Qt::AlignRight;
    if (name.compare(QLatin1String("taCenter"), Qt::CaseInsensitive) == 0)
        return Qt::AlignHCenter;
    return Qt::AlignLeft;
}

} // namespace

QStringList TDBGrid::ColumnsDefinition() const
{
    QStringList out;
    for (const auto& c : m_columns) {
        QString entry = c->FieldName() + QLatin1Char(',') + QString::number(c->Width());
        if (!(c->TitleAlignment() & Qt::AlignLeft))
            entry += QLatin1Char(',') + alignmentName(c->TitleAlignment());
        out << entry;
    }
    return out;
}

void TDBGrid::SetColumnsDefinition(const QStringList& definition)
{
    m_columns.clear();
    for (const QString& entry : definition) {
        const QStringList parts = entry.split(QLatin1Char(','));
        const QString field = parts.value(0).trimmed();
        if (field.isEmpty())
            continue;
        const int width = qMax(0, parts.value(1).trimmed().toInt());
        m_columns.push_back(std::make_unique<TColumn>(field, width, alignmentOf(parts.value(2).trimmed())));
    }
    rebind();
}

TColumn* TDBGrid::AddColumn(const QString& fieldName, int width, Qt::Alignment titleAlignment)
{
    m_columns.push_back(std::make_unique<TColumn>(fieldName, width, titleAlignment));
    TColumn* c = m_columns.back().get();
    rebind();
    return c;
}

void TDBGrid::ClearColumns()
{
    m_columns.clear();
    rebind();
}

TColumn* TDBGrid::Column(int index) const
{
    return index >= 0 && index < ColumnCount() ? m_columns[static_cast<size_t>(index)].get() : nullptr;
}

int TDBGrid::ColumnsWidth() const
{
    int w = 0;
    for (const auto& c : m_columns)
        w += drawnWidth(*c);
    return w;
}

int TDBGrid::drawnWidth(const TColumn& column) const
{
    return qRound(column.Width() * m_zoom);
}

void TDBGrid::SetZoom(double zoom)
{
    if (zoom <= 0.0 || zoom == m_zoom)
        return;
    m_zoom = zoom;
    applyColumns();
}

int TDBGrid::columnOfSection(int logicalSection) const
{
    for (size_t c = 0; c < m_columns.size(); ++c)
        if (m_columns[c]->Field() && m_columns[c]->Field()->Index() == logicalSection)
            return static_cast<int>(c);
    return -1;
}

void TDBGrid::applyColumns()
{
    QHeaderView* h = horizontalHeader();
    const int sections = m_model->columnCount();
    for (int s = 0; s < sections; ++s) {
        const int c = columnOfSection(s);
        h->setSectionHidden(s, c < 0);
        if (c >= 0)
            h->resizeSection(s, drawnWidth(*m_columns[static_cast<size_t>(c)]));
    }
    // Columns appear in their own order, not in the order of the dataset's fields.
    int visual = 0;
    for (const auto& c : m_columns) {
        if (!c->Field())
            continue;
        const int from = h->visualIndex(c->Field()->Index());
        if (from >= 0 && from != visual)
            h->moveSection(from, visual);
        ++visual;
    }
    viewport()->update();
}

void TDBGrid::SetColor(TColor color)
{
    m_color = color;
    applyPalette();
}

void TDBGrid::SetFixedColor(TColor color)
{
    m_fixedColor = color;
    m_titleRow->viewport()->update();
}

void TDBGrid::SetFontColor(TColor color)
{
    m_fontColor = color;
    viewport()->update();
}

void TDBGrid::SetTitleFont(const QFont& font)
{
    m_titleFont = font;
    updateMetrics();
}

void TDBGrid::SetTitleFontColor(TColor color)
{
    m_titleFontColor = color;
    m_titleRow->viewport()->update();
}

void TDBGrid::SetDefaultColors(bool on)
{
    m_defaultColors = on;
    if (on)
        SetColor(clWindow);
}

void TDBGrid::applyPalette()
{
    QPalette pal = palette();
    const QColor bg = ToQColor(m_color);
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase, QPalette::Button})
        pal.setColor(role, bg);
    setPalette(pal);
    viewport()->setPalette(pal);
    m_titleRow->viewport()->update();
    viewport()->update();
}

int TDBGrid::TitleHeight() const
{
    return QFontMetrics(m_titleFont).height() + 4;
}

// One pixel above and below the text: ten rows of the cell font fit under the title row of a ranked list.
int TDBGrid::RowHeight() const
{
    return QFontMetrics(font()).height() + 2;
}

void TDBGrid::updateMetrics()
{
    m_titleRow->setFixedHeight(TitleHeight());
    verticalHeader()->setDefaultSectionSize(RowHeight());
    // At once, not at the next layout pass: a window rendered onto a page before any event is handled
    // must not draw its rows under a taller title row.
    updateGeometries();
}

void TDBGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void TDBGrid::paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const int dataCol = columnOfSection(index.column());
    TClientDataSet* ds = DataSet();
    if (dataCol < 0 || !ds)
        return;
    TColumn* column = m_columns[static_cast<size_t>(dataCol)].get();
    TGridDrawState state;
    if (option.state & QStyle::State_Selected)
        state |= gdSelected;
    if (index == currentIndex() && hasFocus())
        state |= gdFocused;

    m_canvas.SetPainter(painter);
    const TClientDataSet::RecordScope scope(ds, index.row());
    // The cell starts in the grid's own colour, never the selection colour, and the event draws over it.
    m_canvas.Brush()->SetColor(m_color);
    DefaultDrawColumnCell(option.rect, dataCol, column, state);
    if (!m_drawEventFailed) {
        // A message box cannot open inside painting, and a failing handler would fail again at every
        // repaint: the grid stops calling it until its data changes, and the error is reported once, after
        // the paint.
        const DeferredErrorReports afterPaint;
        const int failures = HandlerFailures();
        emit OnDrawColumnCell(this, option.rect, dataCol, column, state);
        m_drawEventFailed = HandlerFailures() != failures;
    }
    m_canvas.SetPainter(nullptr);
}

void TDBGrid::DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn* column, TGridDrawState state)
{
    Q_UNUSED(dataCol);
    Q_UNUSED(state);
    QPainter* p = m_canvas.Painter();
    if (!p)
        return;
    p->save();
    p->setClipRect(rect);
    const TColor brush = m_canvas.Brush()->Color();
    p->fillRect(rect, ToQColor(m_brushSubstitutes.value(brush, brush)));
    if (column && column->Field()) {
        TField* field = column->Field();
        p->setFont(font());
        p->setPen(ToQColor(m_fontColor));
        p->drawText(rect.adjusted(2, 0, -2, 0),
                    static_cast<int>(field->Alignment()) | Qt::AlignVCenter | Qt::TextSingleLine,
                    field->DisplayText());
    }
    p->restore();
}

QByteArray TDBGrid::CsvText() const
{
    QStringList header;
    QList<int> fields;
    for (int c = 0; c < ColumnCount(); ++c) {
        const TField* field = Column(c)->Field();
        if (!field)
            continue;
        header << field->DisplayLabel();
        fields << field->Index();
    }
    if (!m_csvExtraTitle.isEmpty())
        header << m_csvExtraTitle;
    QList<QList<QVariant>> rows;
    const TClientDataSet* ds = m_dataSource ? m_dataSource->DataSet() : nullptr;
    for (int r = 0; ds && r < ds->RecordCount(); ++r) {
        QList<QVariant> row;
        for (int f : fields)
            row << ds->ValueAt(r, f);
        if (!m_csvExtraTitle.isEmpty())
            row << m_csvExtraValues.value(r);
        rows << row;
    }
    return ::CsvText(header, rows);
}

QString TDBGrid::CsvFileName() const
{
    QString name = m_csvName.isEmpty() ? objectName() : m_csvName;
    if (!m_csvPeriod.isEmpty())
        name += QLatin1Char('-') + m_csvPeriod;
    return name + QStringLiteral(".csv");
}

void TDBGrid::contextMenuEvent(QContextMenuEvent* event)
{
    OfferCsvSave(this, event->globalPos(), CsvFileName(), [this] { return CsvText(); });
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    QChar key = TForm::KeyChar(event);
    if (!key.isNull()) {
        emit OnKeyPress(this, key);
        if (key.isNull()) {
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
    // The window sees only the key presses made while it has the focus itself.
    event->accept();
}
