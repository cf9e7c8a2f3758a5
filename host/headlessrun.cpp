#include "headlessrun.h"

#include "boardpack.h"
#include "cockpitexport.h"
#include "cockpitview.h"
#include "messagedlg.h"
#include "moduleloader.h"
#include "outputfile.h"
#include "presentation.h"
#include "refmonth.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tapplication.h"
#include "tdbgrid.h"
#include "tform.h"
#include "wiretext.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QTimer>
#include <QRegularExpression>

#include <memory>
#include <utility>

#include <cstdio>

namespace {

// Confirms the month dialog once the module has opened it.
void confirmMonthWhenAsked(const cockpit::RefMonth& month, int attempts = 500)
{
    QTimer::singleShot(10, [month, attempts] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* date = dialog ? dialog->findChild<TDateEditPlus*>(QStringLiteral("depData")) : nullptr;
        auto* confirm = dialog ? dialog->findChild<TButtonFlat*>(QStringLiteral("sbtConfirma")) : nullptr;
        if (date && confirm) {
            date->SetDate(DateTimeUtil::fromDate(month.firstDay()));
            confirm->Click();
        } else if (attempts > 0) {
            confirmMonthWhenAsked(month, attempts - 1);
        } else if (dialog) {
            dialog->close();
        }
    });
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QString error;
    if (WriteOutputFile(path, data, &error))
        return true;
    std::fprintf(stderr, "kpd-host: %s\n", qPrintable(error));
    return false;
}

QByteArray png(const QImage& picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return picture.save(&buffer, "PNG") ? bytes : QByteArray();
}

} // namespace

bool ParseMonths(const QStringList& values, QList<cockpit::RefMonth>* months, QString* error)
{
    months->clear();
    for (const QString& value : values) {
        const QStringList ends = value.split(QStringLiteral(".."));
        const cockpit::RefMonth first = cockpit::RefMonth::fromKey(ends.value(0));
        const cockpit::RefMonth last = ends.size() == 2 ? cockpit::RefMonth::fromKey(ends.value(1)) : first;
        if (ends.size() > 2 || !first.isValid() || !last.isValid()) {
            *error = QStringLiteral("mês inválido em --month: %1 (use AAAA-MM ou AAAA-MM..AAAA-MM)")
                         .arg(WireText::Printable(value, 40));
            return false;
        }
        if (last < first) {
            *error = QStringLiteral("período invertido em --month: %1 (o primeiro mês vem antes do último)")
                         .arg(WireText::Printable(value, 40));
            return false;
        }
        for (cockpit::RefMonth m = first; !(last < m); m = m.next())
            months->append(m);
    }
    return true;
}

QString PathForMonth(const QString& pattern, const cockpit::RefMonth& month)
{
    QString path = pattern;
    return path.replace(QStringLiteral("{month}"), month.key());
}

bool CheckHeadlessOptions(const HeadlessOptions& options, QString* error)
{
    if (options.months.size() < 2)
        return true;
    for (const auto& [option, path] : {std::pair{"--snapshot", options.snapshot}, std::pair{"--export-json", options.json},
                                       std::pair{"--export-csv", options.csv}})
        if (!path.isEmpty() && !path.contains(QStringLiteral("{month}"))) {
            *error = QStringLiteral("com vários meses, o caminho de %1 deve conter {month} (por exemplo "
                                    "painel-{month}.png): %2")
                         .arg(QLatin1String(option), path);
            return false;
        }
    return true;
}

int RunHeadless(ModuleLoader& module, const HeadlessOptions& options)
{
    QStringList messages; // of the month being shown
    SetMessagePresenter([&messages](MessageKind, const QString& text) {
        messages.append(text);
        std::fprintf(stderr, "kpd-host: %s\n", qPrintable(text));
    });
    BoardPack pack({options.pdf, options.company, options.lightPdf, int(options.months.size())});
    if (!options.pdf.isEmpty() && !options.months.isEmpty())
        pack.cover(options.months.first(), options.months.last());
    // Stands for the host's other windows: the dashboard is left for it and activated again per month.
    QWidget elsewhere;
    bool allCompleted = true;
    bool written = true;
    QStringList emptyMonths;

    for (int i = 0; i < options.months.size(); ++i) {
        const cockpit::RefMonth month = options.months[i];
        messages.clear();
        bool completed = false;
        QWidget* dashboard = module.FrmIndiResult();
        auto* form = qobject_cast<TForm*>(dashboard);
        if (!module.IsLoaded()) {
            messages.append(module.ErrorString());
            std::fprintf(stderr, "kpd-host: %s\n", qPrintable(module.ErrorString()));
        } else if (i == 0 || !form) {
            confirmMonthWhenAsked(month);
            module.IniProc();
            dashboard = module.FrmIndiResult();
            form = qobject_cast<TForm*>(dashboard);
        } else {
            Application()->WindowActivated(&elsewhere);
            *module.DtData() = DateTimeUtil::fromDate(month.firstDay());
            Application()->WindowActivated(form);
        }
        if (module.IsLoaded()) {
            // Let pending paints settle.
            QApplication::processEvents();
            completed = form && form->ActivateCount() > 0 && form->LastActivateCompleted();
            if (!form)
                messages.append(QStringLiteral("O painel não foi aberto."));
        }
        if (!completed && options.months.size() > 1)
            std::fprintf(stderr, "kpd-host: o painel de %s não foi atualizado.\n",
                         qPrintable(month.key()));
        allCompleted = allCompleted && completed;

        // A window that still shows another month's figures (or none) must not be printed as this month's.
        const bool shown = dashboard && cockpit::ShownView(dashboard).month == month;
        const auto* notice = dashboard ? dashboard->findChild<QLabel*>(QStringLiteral("lblAviso")) : nullptr;
        const QString noticeText = shown && notice ? notice->text() : QString();
        if (shown && options.onMonth)
            options.onMonth(month, cockpit::ShownView(dashboard));
        if (!noticeText.isEmpty())
            emptyMonths << month.key();
        const QImage picture = dashboard ? dashboard->grab().toImage() : QImage();
        if (!options.snapshot.isEmpty()) {
            const QByteArray image = png(picture);
            if (image.isEmpty())
                std::fprintf(stderr, "kpd-host: não foi possível gerar a imagem do painel de %s\n",
                             qPrintable(month.key()));
            written = !image.isEmpty() && writeFile(PathForMonth(options.snapshot, month), image) && written;
        }
        if (!options.json.isEmpty()) {
            written = writeFile(PathForMonth(options.json, month), ExportCockpitText(dashboard, messages)) && written;
        }
        if (!options.csv.isEmpty() && dashboard) {
            // The lists as numbers, one file each, in the month's folder.
            const QString folder = PathForMonth(options.csv, month);
            QDir().mkpath(folder);
            for (const TDBGrid* grid : dashboard->findChildren<TDBGrid*>())
                written = writeFile(QDir(folder).filePath(grid->objectName() + QStringLiteral(".csv")), grid->CsvText()) && written;
        }
        if (!options.pdf.isEmpty())
            pack.month(month, shown ? dashboard : nullptr, shown ? noticeText : messages.join(QLatin1Char(' ')));
    }
    if (!options.pdf.isEmpty() && !options.months.isEmpty())
        pack.trends();
    if (!pack.finish())
        written = false;
    SetMessagePresenter({});
    if (!emptyMonths.isEmpty())
        std::fprintf(stderr, "kpd-host: sem dados para %s\n", qPrintable(emptyMonths.join(QStringLiteral(", "))));
    return allCompleted && written ? 0 : 1;
}
