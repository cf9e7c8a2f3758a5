#include "csvmenu.h"

#include "messagedlg.h"

#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>

void OfferCsvSave(QWidget* parent, const QPoint& globalPos, const QString& name, const std::function<QByteArray()>& text)
{
    QMenu menu(parent);
    QAction* save = menu.addAction(QStringLiteral("Salvar como CSV..."));
    if (menu.exec(globalPos) != save)
        return;
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar como CSV"), name,
                                                      QStringLiteral("Planilha CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = text();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        ShowMessageDlg(MessageKind::Error, QStringLiteral("Não foi possível gravar %1.").arg(path));
}
