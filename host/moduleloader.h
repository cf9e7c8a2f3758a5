#pragma once

#include <QLibrary>
#include <QString>

class QWidget;

// The module as the host sees it: a library loaded by path with one entry point and three variables.
class ModuleLoader {
public:
    using IniProcFn = void (*)();

    // Loads the library and resolves its exports; false with ErrorString() when it can't.
    bool Load(const QString& path);
    bool IsLoaded() const { return m_iniProc != nullptr; }
    QString ErrorString() const { return m_error; }

    void IniProc() const;
    double* DtData() const { return m_dtData; }
    QWidget* FrmIndiResult() const;
    QWidget* FrmFiltroIndicResult() const;

    // Where the module is by default: the library directory beside the host's binary directory.
    static QString DefaultPath();

private:
    QLibrary m_library;
    IniProcFn m_iniProc = nullptr;
    double* m_dtData = nullptr;
    QWidget** m_frmIndiResult = nullptr;
    QWidget** m_frmFiltroIndicResult = nullptr;
    QString m_error;
};
