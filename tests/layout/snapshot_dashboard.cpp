// Renders the dashboard with demo rows into a PNG, to look at the layout: snapshot_dashboard out.png
#include "messagedlg.h"
#include "tclientdataset.h"
#include "tdatasource.h"
#include "tdbchart.h"
#include "tdbgrid.h"
#include "tfrmindiresult.h"
#include "tlabel.h"
#include "tpanel.h"
#include "tpieseries.h"

#include <QApplication>
#include <QImage>

namespace
{

// The window's dataset, or a stand-in with the same schema while the data service does not provide it.
TClientDataSet* dataSet(TfrmIndiResult* form, TClientDataSet* own, const QString& name,
                        const QVector<TPacketFieldDef>& fields)
{
    if (own)
        return own;
    auto* ds = new TClientDataSet(form);
    ds->setObjectName(name);
    for (const auto& f : fields)
        ds->AddField(f.name, f.type, f.size);
    return ds;
}

void labelled(TClientDataSet* ds)
{
    const QHash<QString, QString> labels{{"CDAREAGERE", "Reg."},
                                         {"NMFILIAL", "Filial"},
                                         {"RESULTADO", "%Result."},
                                         {"DIASESTOQUE", "Nº Dias"}};
    const QHash<QString, QString> formats{{"RESULTADO", "#0.0%"}, {"DIASESTOQUE", "#0.0"}};
    for (TField* f : ds->Fields()) {
        if (f->DisplayLabel() == f->FieldName() && labels.contains(f->FieldName()))
            f->SetDisplayLabel(labels[f->FieldName()]);
        if (f->DisplayFormat().isEmpty() && formats.contains(f->FieldName()))
            f->SetDisplayFormat(formats[f->FieldName()]);
    }
}

void bind(TfrmIndiResult* form, TDBGrid* grid, TClientDataSet* ds)
{
    if (grid->DataSet() == ds)
        return;
    auto* src = new TDataSource(form);
    src->SetDataSet(ds);
    grid->SetDataSource(src);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("dashboard.png");
    SetMessagePresenter([](MessageKind, const QString&) {});
    auto* form = new TfrmIndiResult;

    const QVector<TPacketFieldDef> ranked{{"CDAREAGERE", TFieldType::ftString, 3},
                                          {"NMFILIAL", TFieldType::ftString, 30},
                                          {"RESULTADO", TFieldType::ftFloat},
                                          {"ROWNUM", TFieldType::ftFloat}};
    const QVector<TPacketFieldDef> stock{{"CDAREAGERE", TFieldType::ftString, 3},
                                         {"ROWNUM", TFieldType::ftFloat},
                                         {"NMFILIAL", TFieldType::ftString, 30},
                                         {"DIASESTOQUE", TFieldType::ftFloat}};
    const QVector<TPacketFieldDef> pie{{"CDAREAGERE", TFieldType::ftString, 3},
                                       {"VRFATLIQGER", TFieldType::ftFloat},
                                       {"CUSTO", TFieldType::ftFloat},
                                       {"RESULTADO", TFieldType::ftFloat}};
    TClientDataSet* top = dataSet(form, form->cdsTop10, "cdsTop10", ranked);
    TClientDataSet* bottom = dataSet(form, form->cdsBottom10, "cdsBottom10", ranked);
    TClientDataSet* days = dataSet(form, form->cdsDiasEstoque, "cdsDiasEstoque", stock);
    TClientDataSet* pizza = dataSet(form, form->cdsGrafPizza, "cdsGrafPizza", pie);
    for (auto* ds : {top, bottom, days})
        labelled(ds);
    bind(form, form->dbgTop10, top);
    bind(form, form->dbgBottom10, bottom);
    bind(form, form->dbgAtrasaLanca, days);
    for (TDBChart* c : {form->grafFatReg, form->grafCustReg, form->grafResultReg})
        c->Series()->SetDataSource(pizza);

    const QStringList regions{"SUL", "SE", "CO", "NE", "NO"};
    const QStringList cities{
        "PORTO ALEGRE CENTRO", "CURITIBA BATEL", "CAMPINAS", "GOIANIA SETOR OESTE", "RECIFE BOA VIAGEM",
        "BELEM NAZARE",        "FLORIANOPOLIS",  "LONDRINA", "RIBEIRAO PRETO",      "SALVADOR PITUBA",
        "MANAUS ADRIANOPOLIS", "CUIABA"};
    TDataPacket t{ranked, {}}, b{ranked, {}}, d{stock, {}}, p{pie, {}};
    for (int i = 0; i < 10; ++i) {
        t.rows.append({regions[i % 5], cities[i], 18.4 - i * 1.37, double(i + 1)});
        b.rows.append({regions[(i + 2) % 5], cities[(i + 2) % 12], -9.8 + i * 0.91, double(i + 1)});
        d.rows.append({regions[(i + 3) % 5], double(i + 1), cities[(i + 5) % 12], 182.0 - i * 11.5});
    }
    const double fat[] = {48.2, 36.9, 21.4, 17.8, 9.6};
    for (int i = 0; i < 5; ++i)
        p.rows.append({regions[i], fat[i], fat[i] * (0.62 + 0.03 * i), fat[i] * (0.11 - 0.015 * i)});
    top->SetData(t);
    bottom->SetData(b);
    days->SetData(d);
    pizza->SetData(p);

    // What a refresh writes into the header, the region labels, the value panels and the gauges.
    form->lblTitulo->SetCaption("BI Business Intelligence - Resultados Operacionais Maio/2024");
    form->lblDtAtu->SetCaption("Última Atualização : 31/05/2024");
    form->lblQtFiliais->SetCaption("Quantidade de Unidades: 58");
    const QStringList cols{"Fat", "Cons", "MDO", "Despe", "Result"};
    const double totals[] = {133.9, 63.2, 18.7, 9.9, 8.2};
    for (int c = 0; c < 5; ++c) {
        for (int r = 0; r <= 5; ++r) {
            const QString row = r == 0 ? QStringLiteral("Total") : QStringLiteral("R%1").arg(r);
            QWidget* g = qobject_cast<QWidget*>(form->FindComponent("indic" + cols[c] + row));
            auto* panel = form->FindComponentAs<TPanel>("pnlIndic" + cols[c] + row);
            const double v = r == 0 ? totals[c] : (c == 0 ? fat[r - 1] : totals[c] * (0.8 + 0.1 * r));
            if (g)
                g->setProperty("Progress", v);
            if (panel)
                panel->SetCaption(
                    c == 0 ? QLocale(QLocale::Portuguese, QLocale::Brazil).toString(v, 'f', 2) + " M"
                           : QLocale(QLocale::Portuguese, QLocale::Brazil).toString(v, 'f', 1) + "%");
        }
    }
    for (int r = 1; r <= 5; ++r)
        form->FindComponentAs<TLabel>(QStringLiteral("lblR%1").arg(r))->SetCaption(regions[r - 1]);

    form->show();
    app.processEvents();
    const bool ok = form->grab().toImage().save(out);
    delete form;
    return ok ? 0 : 1;
}
