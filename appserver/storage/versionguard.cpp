#include "versionguard.h"

#include <cstdio>

namespace appserver {

VersionGuard::VersionGuard(DatabaseSettings settings) : m_settings(std::move(settings)) {}

DataVersion::Value VersionGuard::vet(Database& db, DataVersion::Value v)
{
    if (v.counter < 0)
        return v;
    if (v.sound && (db.isPostgres() || v.shape == m_soundShape.load())) {
        m_sound = true;
        return v;
    }
    std::lock_guard lock(m_mutex);
    if (db.isSqlite()) {
        if (m_checkedShape != v.shape) {
            try {
                m_checkedSound = DataVersion::check(db);
            } catch (const DatabaseError& e) {
                if (e.connectionLost())
                    throw;
                m_checkedSound = false;
            }
            m_checkedShape = v.shape;
            if (m_checkedSound)
                m_soundShape = v.shape;
        }
        v.sound = m_checkedSound;
    }
    m_sound = v.sound;
    if (!v.sound && m_triedShape != v.shape) {
        m_triedShape = v.shape;
        repair(db);
    }
    return v;
}

void VersionGuard::repair(Database& db)
{
    QString why;
    try {
        why = DataVersion::whyNot(db);
    } catch (const DatabaseError& e) {
        why = e.message();
    }
    QString refused;
    try {
        DatabaseSettings writable = m_settings.withNameSuffix(QStringLiteral("-gatilhos"));
        writable.readOnly = false;
        Database w(writable);
        if (DataVersion::install(w)) {
            ++m_repairs;
            std::fprintf(stderr, "kpd-appserver: versão dos dados: %s; os gatilhos foram refeitos e as respostas "
                                 "guardadas, descartadas\n",
                         why.toUtf8().constData());
            return;
        }
        why = DataVersion::whyNot(w);
    } catch (const DatabaseError& e) {
        refused = e.message();
    }
    std::fprintf(stderr, "kpd-appserver: AVISO: versão dos dados: %s%s; nenhuma resposta é guardada, cada chamada "
                         "calcula o mês, até que os gatilhos voltem (kpd-appserver --rebuild-summary --db ... com o "
                         "papel de carga, ou a próxima importação, os refazem)\n",
                 why.toUtf8().constData(),
                 refused.isEmpty() ? "" : QStringLiteral(" e o servidor não pôde refazer os gatilhos (%1)").arg(refused).toUtf8().constData());
}

} // namespace appserver
