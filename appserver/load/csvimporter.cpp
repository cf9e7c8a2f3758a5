#include "refmonth.h"
#include "csvimporter.h"

#include "csvreader.h"
#include "dailycopy.h"
#include "importtables.h"
#include "importvalues.h"
#include "stagingwriter.h"
#include "wiretext.h"
#include "database.h"
#include "databaseerror.h"
#include "importerror.h"
#include "monthlysummary.h"
#include "wiretext.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace appserver {

using namespace importing;

namespace {

class Import {
public:
    Import(Database& db, const QString& dir, std::chrono::milliseconds lockWait) : m_db(db), m_dir(dir), m_lockWait(lockWait) {}

    ImportSummary run()
    {
        QList<const Table*> present;
        for (const Table& t : tables()) {
            if (QFile::exists(m_dir.filePath(fileOf(t))))
                present << &t;
        }
        if (!m_dir.exists())
            throw ImportError(m_dir.path(), 0, 0, {}, QStringLiteral("a pasta não existe."));
        if (present.isEmpty())
            throw ImportError(m_dir.path(), 0, 0, {},
                              QStringLiteral("nenhum dos arquivos regional.csv, filial.csv, movimento_diario.csv, "
                                             "estoque_mensal.csv ou meta_mensal.csv está na pasta."));

        ImportSummary summary;
        // A transaction that read first and wrote later could find another writer in between, and SQLite
        // refuses it then rather than wait: take the lock before the first read.
        m_db.beginWriting(m_lockWait);
        try {
            createStaging();
            for (const Table* t : present) {
                if (copiesDaily(*t))
                    applyDimensions();
                summary.files << qMakePair(fileOf(*t), stage(*t));
                m_targets = m_targets || qstrcmp(t->name, "meta_mensal") == 0;
            }
            checkReferences();
            apply();
            summary.loadedAt = QDateTime::currentDateTime();
            QSqlQuery load = m_db.prepare(QStringLiteral("INSERT INTO carga_etl (dtcarga) VALUES (?)"));
            load.bindValue(0, m_db.timestampValue(summary.loadedAt));
            Database::exec(load);
            summary.months = touchedMonths();
            dropStaging();
            m_db.commit();
        } catch (const ImportError& e) {
            undo(e.message());
            throw;
        } catch (const DatabaseError& e) {
            undo(e.message());
            throw;
        } catch (...) {
            m_db.rollback();
            throw;
        }
        return summary;
    }

private:
    // A rollback that fails is said, with the failure that called for it: the file may then keep the
    // load half-written until its journal is played back.
    void undo(const QString& failure)
    {
        const QString why = m_db.rollback();
        if (!why.isEmpty())
            throw DatabaseError(QStringLiteral("%1; além disso, a carga não pôde ser desfeita (%2): o banco \"%3\" "
                                               "pode ter ficado com a carga pela metade até que seja aberto com "
                                               "permissão de escrita.")
                                    .arg(failure, why, m_db.settings().displayName()));
    }

    // Temporary tables belong to this connection and go with a rollback, so a failed import leaves
    // none behind.
    void createStaging()
    {
        for (const Table& t : tables()) {
            QStringList columns{QStringLiteral("linha INTEGER NOT NULL")};
            QStringList keys;
            for (size_t i = 0; i < t.columns.size(); ++i) {
                columns << QStringLiteral("%1 %2 NOT NULL").arg(QLatin1String(t.columns[i].name), QLatin1String(sqlType(t.columns[i].kind)));
                if (int(i) < t.keys)
                    keys << QLatin1String(t.columns[i].name);
            }
            if (isDaily(t))
                columns << QStringLiteral("mes DATE NOT NULL") << QStringLiteral("mesfim DATE NOT NULL");
            columns << QStringLiteral("PRIMARY KEY (%1)").arg(keys.join(QStringLiteral(", ")));
            m_db.execDirect(QStringLiteral("CREATE TEMP TABLE %1 (%2)").arg(staging(t), columns.join(QStringLiteral(", "))));
        }
        m_db.execDirect(QStringLiteral(
            "CREATE TEMP TABLE imp_meses (cdfilial INTEGER NOT NULL, mes DATE NOT NULL, mesfim DATE NOT NULL, "
            "PRIMARY KEY (cdfilial, mes))"));
    }

    // The months whose figures, stock or targets the load wrote.
    QList<cockpit::RefMonth> touchedMonths()
    {
        QList<cockpit::RefMonth> months;
        m_db.forEachRow(QStringLiteral("SELECT mes FROM imp_meses UNION SELECT mes FROM imp_estoque_mensal "
                                       "UNION SELECT mes FROM imp_meta_mensal ORDER BY 1"),
                        {}, [&](const Database::Row& row) {
                            const cockpit::RefMonth month = row.month(0);
                            if (month.isValid())
                                months << month;
                        });
        return months;
    }

    void dropStaging()
    {
        for (const Table& t : tables())
            m_db.execDirect(QStringLiteral("DROP TABLE %1").arg(staging(t)));
        m_db.execDirect(QStringLiteral("DROP TABLE imp_meses"));
    }

    qint64 stage(const Table& t)
    {
        const QString file = fileOf(t);
        QFile f(m_dir.filePath(file));
        if (!f.open(QIODevice::ReadOnly))
            throw ImportError(file, 0, 0, {}, QStringLiteral("não foi possível ler o arquivo: %1.").arg(f.errorString()));
        CsvReader reader(f, file);
        QStringList fields;
        if (!reader.next(fields))
            throw ImportError(file, 1, 0, {}, QStringLiteral("o arquivo está vazio; a primeira linha deve ser o cabeçalho."));

        // Header: every column of the table once, in any order, and nothing else.
        const qsizetype width = fields.size();
        std::vector<int> position(t.columns.size(), -1);
        for (qsizetype i = 0; i < width; ++i) {
            const QString name = fields[i].trimmed().toLower();
            int found = -1;
            for (size_t c = 0; c < t.columns.size(); ++c) {
                if (name == QLatin1String(t.columns[c].name))
                    found = int(c);
            }
            if (found < 0)
                throw ImportError(file, reader.line(), int(i) + 1, WireText::Printable(fields[i], 40),
                                  QStringLiteral("coluna desconhecida; as colunas de %1 são %2.")
                                      .arg(file, columnList(t)));
            if (position[size_t(found)] >= 0)
                throw ImportError(file, reader.line(), int(i) + 1, WireText::Printable(fields[i], 40),
                                  QStringLiteral("coluna repetida no cabeçalho."));
            position[size_t(found)] = int(i);
        }
        for (size_t c = 0; c < t.columns.size(); ++c) {
            if (position[c] < 0)
                throw ImportError(file, reader.line(), 0, QLatin1String(t.columns[c].name),
                                  QStringLiteral("falta a coluna no cabeçalho (colunas exigidas: %1).").arg(columnList(t)));
        }

        std::optional<DailyCopy> copy;
        std::optional<StagingWriter> writer;
        if (copiesDaily(t))
            copy.emplace(m_db, file, position[0] + 1);
        else
            writer.emplace(m_db, t, file, position);
        while (reader.next(fields)) {
            if (fields.size() != width)
                throw ImportError(file, reader.line(), int(std::min(fields.size(), width)) + 1, {},
                                  QStringLiteral("a linha tem %1 valores e o cabeçalho %2 colunas.").arg(fields.size()).arg(width));
            StagedRow row{reader.line(), {}};
            QDate day;
            for (size_t c = 0; c < t.columns.size(); ++c) {
                QString reason;
                const QVariant value = convert(m_db, t.columns[c].kind, fields[position[c]], reader.separator(), reason, &day);
                if (!reason.isEmpty())
                    throw ImportError(file, reader.line(), position[c] + 1, QLatin1String(t.columns[c].name), reason);
                row.values << value;
            }
            // A revenue budget of nothing or less would judge every revenue red (or none): refused where
            // it stands, as a bad value is.
            if (qstrcmp(t.name, "meta_mensal") == 0 && row.values.value(2).toString() == QLatin1String("faturamento") &&
                !(row.values.value(3).toString().toDouble() > 0.0))
                throw ImportError(file, reader.line(), position[3] + 1, QStringLiteral("vrmeta"),
                                  QStringLiteral("meta de faturamento deve ser maior que zero: %1.")
                                      .arg(WireText::Printable(fields[position[3]], 40)));
            if (writer && isDaily(t)) {
                const QDate first = cockpit::RefMonth(day).firstDay();
                row.values << m_db.dateValue(first) << m_db.dateValue(first.addMonths(1));
            }
            if (copy)
                copy->add(row);
            else
                writer->add(std::move(row));
        }
        if (copy) {
            m_dailyCopied = true;
            return copy->finish();
        }
        writer->flush();
        return writer->count();
    }

    static QString columnList(const Table& t)
    {
        QStringList names;
        for (const Column& c : t.columns)
            names << QLatin1String(c.name);
        return names.join(QStringLiteral(", "));
    }

    // The first staged row (by line) whose code is neither in the real table nor in its staging.
    // `only`: a condition on the staged row (s) that a row must meet to need its parent.
    void checkReference(const char* table, const char* column, const char* parent, const char* key,
                        const QString& what, const QString& only = QStringLiteral("true"))
    {
        const QString sql = QStringLiteral(
                                "SELECT s.linha, s.%2 FROM imp_%1 s "
                                "WHERE NOT EXISTS (SELECT 1 FROM %3 p WHERE p.%4 = s.%2) "
                                "  AND NOT EXISTS (SELECT 1 FROM imp_%3 p WHERE p.%4 = s.%2) "
                                "  AND %5 "
                                "ORDER BY s.linha LIMIT 1")
                                .arg(QLatin1String(table), QLatin1String(column), QLatin1String(parent), QLatin1String(key), only);
        QSqlQuery q = m_db.prepare(sql);
        Database::exec(q);
        if (!q.next())
            return;
        const qint64 line = q.value(0).toLongLong();
        const QString value = q.value(1).toString();
        q.finish();
        // The column's place in the file: read the header again (one line).
        int columnNumber = 0;
        QFile f(m_dir.filePath(QStringLiteral("%1.csv").arg(QLatin1String(table))));
        if (f.open(QIODevice::ReadOnly)) {
            CsvReader reader(f, f.fileName());
            QStringList header;
            if (reader.next(header)) {
                for (int i = 0; i < header.size(); ++i) {
                    if (header[i].trimmed().toLower() == QLatin1String(column))
                        columnNumber = i + 1;
                }
            }
        }
        throw ImportError(QStringLiteral("%1.csv").arg(QLatin1String(table)), line, columnNumber, QLatin1String(column),
                          what.arg(value, QStringLiteral("%1.csv").arg(QLatin1String(parent))));
    }

    void checkReferences()
    {
        checkReference("filial", "cdareagere", "regional", "cdareagere",
                       QStringLiteral("regional \"%1\" não cadastrada (nem no banco de dados nem em %2)."));
        checkReference("movimento_diario", "cdfilial", "filial", "cdfilial",
                       QStringLiteral("filial %1 não cadastrada (nem no banco de dados nem em %2)."));
        checkReference("estoque_mensal", "cdfilial", "filial", "cdfilial",
                       QStringLiteral("filial %1 não cadastrada (nem no banco de dados nem em %2)."));
        checkReference("meta_mensal", "escopo", "regional", "cdareagere",
                       QStringLiteral("regional \"%1\" não cadastrada (nem no banco de dados nem em %2); use TOTAL para "
                                      "a empresa."),
                       QStringLiteral("s.escopo <> 'TOTAL' AND s.escopo NOT LIKE '#%'"));
    }

    // On PostgreSQL the daily rows go straight into their table (DailyCopy); the regions and branches they
    // refer to must be there first, and the region's daily totals read the branch's region as it is.
    bool copiesDaily(const Table& t) const { return m_db.isPostgres() && isDaily(t); }

    void applyDimensions()
    {
        if (m_dimensionsApplied)
            return;
        m_dimensionsApplied = true;
        checkReference("filial", "cdareagere", "regional", "cdareagere",
                       QStringLiteral("regional \"%1\" não cadastrada (nem no banco de dados nem em %2)."));
        // INSERT ... SELECT ... ON CONFLICT: "WHERE true" keeps SQLite from reading ON as a join.
        m_db.execDirect(QStringLiteral(
            "INSERT INTO regional (cdareagere, nmareagere) SELECT cdareagere, nmareagere FROM imp_regional WHERE true "
            "ON CONFLICT (cdareagere) DO UPDATE SET nmareagere = excluded.nmareagere"));
        m_db.execDirect(QStringLiteral(
            "INSERT INTO filial (cdfilial, nmfilial, cdareagere) SELECT cdfilial, nmfilial, cdareagere FROM imp_filial WHERE true "
            "ON CONFLICT (cdfilial) DO UPDATE SET nmfilial = excluded.nmfilial, cdareagere = excluded.cdareagere"));
    }

    void apply()
    {
        applyDimensions();
        if (!m_dailyCopied)
            applyDaily();
        m_db.execDirect(QStringLiteral(
            "INSERT INTO estoque_mensal (cdfilial, mes, vrestoque) SELECT cdfilial, mes, vrestoque FROM imp_estoque_mensal "
            "WHERE true ON CONFLICT (cdfilial, mes) DO UPDATE SET vrestoque = excluded.vrestoque"));
        if (m_targets)
            m_db.execDirect(QStringLiteral(
                "INSERT INTO meta_mensal (mes, escopo, indicador, vrmeta) SELECT mes, escopo, indicador, vrmeta "
                "FROM imp_meta_mensal WHERE true "
                "ON CONFLICT (mes, escopo, indicador) DO UPDATE SET vrmeta = excluded.vrmeta"));
    }

    void applyDaily()
    {
        m_db.execDirect(QStringLiteral("INSERT INTO imp_meses (cdfilial, mes, mesfim) "
                                       "SELECT DISTINCT cdfilial, mes, mesfim FROM imp_movimento_diario"));
        // A load writes many rows per branch-month: the summary is summed once per branch-month it touched.
        MonthlySummary::beginLoad(m_db);
        m_db.execDirect(QStringLiteral(
            "DELETE FROM movimento_diario WHERE EXISTS (SELECT 1 FROM imp_meses s "
            "  WHERE s.cdfilial = movimento_diario.cdfilial "
            "    AND movimento_diario.dtmovimento >= s.mes AND movimento_diario.dtmovimento < s.mesfim)"));
        m_db.execDirect(QStringLiteral(
            "INSERT INTO movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) "
            "SELECT cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas FROM imp_movimento_diario"));
        MonthlySummary::endLoad(m_db, QStringLiteral("imp_meses"));
    }

    Database& m_db;
    QDir m_dir;
    std::chrono::milliseconds m_lockWait;
    bool m_dimensionsApplied = false;
    bool m_dailyCopied = false;
    bool m_targets = false;   // meta_mensal.csv was loaded: a database may not have the table otherwise
};

} // namespace

ImportSummary CsvImporter::run(const QString& dir)
{
    return Import(m_db, dir, m_lockWait).run();
}

void CsvImporter::refreshSummaries(Database& db)
{
    if (!db.isPostgres())
        return;
    // Fresh statistics for the planner, and a visibility map so that a month's call reads the summaries
    // from their covering indexes alone; without it the first calls after a large load read the tables
    // too. The daily rows are left to autovacuum: a month's call reads them only for its last day, one
    // index entry, and vacuuming them would read every page the load wrote. The figures are committed
    // already: a failure here (a table an older database lacks) loses nothing.
    for (const char* table : {"regional", "filial", "movimento_mensal", "movimento_regional_mensal", "movimento_regional_diario",
                              "estoque_mensal", "carga_etl"}) {
        try {
            db.execDirect(QStringLiteral("VACUUM (ANALYZE) %1").arg(QLatin1String(table)));
        } catch (const DatabaseError&) {
        }
    }
}

} // namespace appserver
