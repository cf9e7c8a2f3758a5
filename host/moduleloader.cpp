#include "moduleloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#ifndef KPD_DEFAULT_MODULE
#define KPD_DEFAULT_MODULE "libkpd00100.so"
#endif

QString ModuleLoader::DefaultPath()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString beside = bin.filePath(QStringLiteral(KPD_DEFAULT_MODULE));
    if (QFileInfo::exists(beside))
        return beside;
    const QString built = QDir::cleanPath(bin.filePath(QStringLiteral("../lib/" KPD_DEFAULT_MODULE)));
    // An installed host keeps the module in its private library folder.
    const QString installed = QStringLiteral(KPD_INSTALLED_MODULE_DIR "/" KPD_DEFAULT_MODULE);
    if (!QFileInfo::exists(built) && QFileInfo::exists(installed))
        return installed;
    return built;
}

bool ModuleLoader::Load(const QString& path)
{
    m_library.setFileName(path);
    if (!m_library.load()) {
        m_error = QStringLiteral("Não foi possível carregar o módulo %1: %2").arg(path, m_library.errorString());
        return false;
    }
    m_iniProc = reinterpret_cast<IniProcFn>(m_library.resolve("IniProc"));
    m_dtData = static_cast<double*>(reinterpret_cast<void*>(m_library.resolve("dtData")));
    m_frmIndiResult = reinterpret_cast<QWidget**>(m_library.resolve("frmIndiResult"));
    m_frmFiltroIndicResult = reinterpret_cast<QWidget**>(m_library.resolve("frmFiltroIndicResult"));
    if (!m_iniProc || !m_dtData || !m_frmIndiResult || !m_frmFiltroIndicResult) {
        m_error = QStringLiteral("O módulo %1 não exporta IniProc, dtData, frmIndiResult e frmFiltroIndicResult.").arg(path);
        m_iniProc = nullptr;
        return false;
    }
    return true;
}

void ModuleLoader::IniProc() const
{
    if (m_iniProc)
        m_iniProc();
}

QWidget* ModuleLoader::FrmIndiResult() const { return m_frmIndiResult ? *m_frmIndiResult : nullptr; }

QWidget* ModuleLoader::FrmFiltroIndicResult() const
{
    return m_frmFiltroIndicResult ? *m_frmFiltroIndicResult : nullptr;
}
