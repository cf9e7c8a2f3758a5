#include "tfrmregiao.h"

#include "monthsteps.h"
#include "ui_tfrmregiao.h"

#include "ckppackets.h"
#include "cockpitfields.h"
#include "cockpitview.h"
#include "csvmenu.h"
#include "designfonts.h"
#include "exceptions.h"
#include "hostfunctions.h"
#include "paneltooltip.h"
#include "presentation.h"
#include "refmonth.h"
#include "regionview.h"
#include "regionformats.h"
#include "tappserver.h"
#include "tcolor.h"
#include "tdatetime.h"
#include "tlabel.h"
#include "tnetconnection.h"
#include "showgauge.h"
#include "tovergauge.h"
#include "tpanel.h"
#include "variantdate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

namespace {

// Sorts by the figures themselves, not by their texts ("10,0%" after "9,5%").
constexpr int kNumberRole = Qt::UserRole + 1;


} // namespace

TfrmRegiao::TfrmRegiao(QWidget* owner) : TForm(owner), m_ui(std::make_unique<Ui::TfrmRegiao>())
{
    setObjectName(QStringLiteral("frmRegiao"));
    setWindowTitle(QStringLiteral("Regional"));
    // Framed, unlike the cockpit: black on black without a border could not be told apart, moved or closed.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    InstallFontSubstitutes();
    m_ui->setupUi(this);
    ApplyDesignFonts(this);

    m_net = new TNetConnection(this);
    m_net->setObjectName(QStringLiteral("netRegiao"));
    m_net->SetServerName(QLatin1String(CkpPackets::kServerName));
    m_net->SetThrowException(false);
    connect(m_net, &TNetConnection::BeforeConnect, this, [this] {
        m_net->SetHost(WebURL());
        m_net->SetPort(WebPort());
    });

    m_model = new QStandardItemModel(this);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_model);
    sorted->setSortRole(kNumberRole);
    QTableView* grid = m_ui->grdFiliais;
    grid->setModel(sorted);
    // The server's order (by result) until the user picks a column.
    grid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    grid->setSortingEnabled(true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    fitRowsToFont();
    // Scaled with its cockpit, the grid's font changes after the window is made: its rows follow.
    grid->installEventFilter(this);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setAlternatingRowColors(true);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    // The cockpit's stripes: black and dark grey, white text, a black header.
    QPalette gridPalette = grid->palette();
    gridPalette.setColor(QPalette::Base, ToQColor(clBlack));
    gridPalette.setColor(QPalette::AlternateBase, ToQColor(clRowGrey));
    gridPalette.setColor(QPalette::Text, Qt::white);
    gridPalette.setColor(QPalette::Window, Qt::black);
    gridPalette.setColor(QPalette::Button, Qt::black);
    gridPalette.setColor(QPalette::ButtonText, Qt::white);
    grid->setPalette(gridPalette);
    grid->setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; } ").arg(ToQColor(clGridLine).name()) + QStringLiteral(
                                       "QHeaderView::section { background: black; color: white; font-weight: bold; }"));
    InstallMonthSteps(this, [this](int step) { emit MonthStepRequested(step); });
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
        OfferCsvSave(this, grid->viewport()->mapToGlobal(at), CsvFileName(), [this] { return CsvText(); });
    });
}

TfrmRegiao::~TfrmRegiao() = default;

void TfrmRegiao::fitRowsToFont()
{
    QTableView* grid = m_ui->grdFiliais;
    // The titles' style sheet keeps the header from following the grid's font by itself.
    grid->horizontalHeader()->setFont(grid->font());
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    if (m_model->columnCount() > 0)
        grid->resizeColumnsToContents();
}

bool TfrmRegiao::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->grdFiliais && event->type() == QEvent::FontChange)
        fitRowsToFont();
    return TForm::eventFilter(watched, event);
}

void TfrmRegiao::ShowRegion(const QString& region, const cockpit::RefMonth& month, const cockpit::CockpitView& view, int row)
{
    m_region = region;
    // A month without this region (a step to a month before it had figures) rests the gauges as the
    // cockpit rests an empty row, rather than keep the needles of the month before.
    const cockpit::CockpitView resting = row >= 1 ? cockpit::CockpitView() : cockpit::FailedView(QString());
    const cockpit::CockpitView& gauges = row >= 1 ? view : resting;
    for (int c = 0; c < 5; ++c) {
        const cockpit::IndicatorColumn& column = cockpit::kIndicatorColumns[c];
        auto* gauge = FindComponentAs<TOverGauge>(QLatin1String(column.windowGauge));
        auto* panel = FindComponentAs<TPanel>(QLatin1String(column.windowPanel));
        const QString gaugeName = QLatin1String(column.regionGauge) + QString::number(qMax(row, 1));
        const QString panelName = QLatin1String(column.regionPanel) + QString::number(row);
        for (auto it = gauges.gauges.cbegin(); it != gauges.gauges.cend(); ++it)
            if (it.key().compare(gaugeName, Qt::CaseInsensitive) == 0)
                ShowGaugeState(gauge, it.value());
        panel->SetCaption(row >= 1 ? view.panels.value(panelName) : QString());
        panel->setToolTip(row >= 1 ? PanelToolTip(view, panelName) : QString());
    }

    cockpit::RegionView regionView = cockpit::ComputeRegionView({month.firstDay(), region, {}, {}, {}});
    m_ui->lblTitulo->SetCaption(regionView.title);
    setWindowTitle(regionView.title);
    try {
        m_net->SetConnected(true);
        QVariantList args(RegionPackets::kArgCount);
        args[RegionPackets::kDateArg] = VariantDate::FromDateTime(DateTimeUtil::fromDate(month.firstDay()));
        args[RegionPackets::kRegionArg] = region;
        const QVariant result = m_net->AppServer()->Invoke(QLatin1String(RegionPackets::kMethod), args);
        CheckResultServ(result, true, 0);
        regionView = cockpit::ComputeRegionView({month.firstDay(), region, args.value(RegionPackets::kRegionRowArg).value<TDataPacket>(),
                                                 args.value(RegionPackets::kBranchesArg).value<TDataPacket>(),
                                                 args.value(RegionPackets::kMetasArg).value<TDataPacket>()});
    } catch (const Exception&) {
        // The message was shown; the window says it has no branches rather than keep another month's.
        showBranches(regionView);
        throw;
    }
    showBranches(regionView);
}

void TfrmRegiao::showBranches(const cockpit::RegionView& view)
{
    m_view = std::make_unique<cockpit::RegionView>(view);
    m_model->clear();
    m_model->setHorizontalHeaderLabels(view.columns);
    for (const QVector<cockpit::RegionCell>& row : view.rows) {
        QList<QStandardItem*> items;
        for (const cockpit::RegionCell& cell : row) {
            auto* item = new QStandardItem(cell.text);
            item->setData(cell.number.isNull() ? QVariant(-1e300) : cell.number, kNumberRole);
            // The zones' colours as the gauges draw them are too dark to read as text on these grounds.
            item->setForeground(ToQColor(ScreenTextColor(cell.color)));
            if (!cell.verdict.isEmpty())
                item->setToolTip(cell.verdict);
            const bool number = cell.number.typeId() == QMetaType::Double;
            item->setTextAlignment(number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
            items << item;
        }
        m_model->appendRow(items);
    }
    m_ui->grdFiliais->resizeColumnsToContents();
}

QString TfrmRegiao::CsvFileName() const
{
    const QString month = m_view && m_view->month.isValid() ? QLatin1Char('-') + m_view->month.key() : QString();
    return QStringLiteral("regional-%1%2.csv").arg(m_region, month);
}

QByteArray TfrmRegiao::CsvText() const { return m_view ? cockpit::RegionCsv(*m_view) : QByteArray(); }

void TfrmRegiao::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Close();
        event->accept();
        return;
    }
    TForm::keyPressEvent(event);
}
