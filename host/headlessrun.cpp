#include "headlessrun.h"

#include "cockpitexport.h"
#include "messagedlg.h"
#include "moduleloader.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tform.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>

namespace {

// Confirms the month dialog once the module has opened it.
void confirmMonthWhenAsked(const QDate& month, int attempts = 500)
{
    QTimer::singleShot(10, [month, attempts] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* date = dialog ? dialog->findChild<TDateEditPlus*>(QStringLiteral("depData")) : nullptr;
        auto* confirm = dialog ? dialog->findChild<TButtonFlat*>(QStringLiteral("sbtConfirma")) : nullptr;
        if (date && confirm) {
            date->SetDate(DateTimeUtil::fromDate(month));
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
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "kpd-host: não foi possível gravar %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int RunHeadless(ModuleLoader& module, const HeadlessOptions& options)
{
    QStringList messages;
    SetMessagePresenter([&messages](MessageKind, const QString& text) {
        messages.append(text);
        std::fprintf(stderr, "kpd-host: %s\n", qPrintable(text));
    });

    bool completed = false;
    QWidget* dashboard = nullptr;
    if (!module.IsLoaded()) {
        messages.append(module.ErrorString());
        std::fprintf(stderr, "kpd-host: %s\n", qPrintable(module.ErrorString()));
    } else {
        confirmMonthWhenAsked(options.month);
        module.IniProc();
        dashboard = module.FrmIndiResult();
        // The first refresh runs while the dashboard is shown; let pending paints settle.
        QApplication::processEvents();
        auto* form = qobject_cast<TForm*>(dashboard);
        completed = form && form->ActivateCount() > 0 && form->LastActivateCompleted();
        if (!form)
            messages.append(QStringLiteral("O painel não foi aberto."));
    }

    bool written = true;
    if (!options.snapshot.isEmpty()) {
        if (dashboard)
            written = dashboard->grab().save(options.snapshot, "PNG") && written;
        else
            written = false;
    }
    if (!options.json.isEmpty()) {
        const double refDate = module.DtData() ? *module.DtData() : 0.0;
        const QJsonObject json = ExportCockpit(dashboard, refDate, messages);
        written = writeFile(options.json, QJsonDocument(json).toJson(QJsonDocument::Indented)) && written;
    }
    SetMessagePresenter({});
    return completed && written ? 0 : 1;
}
