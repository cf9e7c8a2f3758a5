#include "csvimporter.h"

#include "csvreader.h"
#include "database.h"
#include "databaseerror.h"
#include "importerror.h"
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

namespace {

constexpr int kBatchRows = 250;      // rows per INSERT into a staging table
constexpr int kMaxCodeLength = 3;    // the cockpit's grids have room for 3
constexpr int kMaxNameLength = 30;

enum class Kind { Code, Name, Branch, Day, Month, Money };

struct Column {
    const char* name;
    Kind kind;
};

struct Table {
    const char* name;
    std::vector<Column> columns;
    int keys;   // the first `keys` columns form the primary key
};

const std::array<Table, 4>& tables()
{
    static const std::array<Table, 4> all{{
        {"regional", {{"cdareagere", Kind::Code}, {"nmareagere", Kind::Name}}, 1},
        {"filial", {{"cdfilial", Kind::Branch}, {"nmfilial", Kind::Name}, {"cdareagere", Kind::Code}}, 1},
        {"movimento_diario",
         {{"cdfilial", Kind::Branch},
          {"dtmovimento", Kind::Day},
          {"vrfatliq", Kind::Money},
          {"vrconsumo", Kind::Money},
          {"vrmdo", Kind::Money},
          {"vrdespesas", Kind::Money}},
         2},
        {"estoque_mensal", {{"cdfilial", Kind::Branch}, {"mes", Kind::Month}, {"vrestoque", Kind::Money}}, 2},
    }};
    return all;
}

const char* sqlType(Kind kind)
{
    switch (kind) {
    case Kind::Code:
    case Kind::Name: return "TEXT";
    case Kind::Branch: return "INTEGER";
    case Kind::Day:
    case Kind::Month: return "DATE";
    case Kind::Money: return "NUMERIC";
    }
    return "TEXT";
}

QString staging(const Table& t) { return QStringLiteral("imp_%1").arg(QLatin1String(t.name)); }
QString fileOf(const Table& t) { return QStringLiteral("%1.csv").arg(QLatin1String(t.name)); }
bool isDaily(const Table& t) { return qstrcmp(t.name, "movimento_diario") == 0; }

// A value as a refusal quotes it: cut, and with its control characters escaped for the terminal.
QString shown(const QString& text) { return QLatin1Char('"') + WireText::Printable(text, 40) + QLatin1Char('"'); }

std::optional<QDate> parseDay(const QString& text)
{
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    static const QRegularExpression br(QStringLiteral("^(\\d{2})/(\\d{2})/(\\d{4})$"));
    QDate d;
    if (const auto m = iso.match(text); m.hasMatch())
        d = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    else if (const auto m2 = br.match(text); m2.hasMatch())
        d = QDate(m2.captured(3).toInt(), m2.captured(2).toInt(), m2.captured(1).toInt());
    if (!d.isValid() || d.year() < 1900)
        return std::nullopt;
    return d;
}

// One value of a record, checked and made ready to bind; a non-empty reason refuses it.
QVariant convert(Database& db, Kind kind, const QString& text, QChar separator, QString& reason, QDate* day)
{
    if (text.isEmpty()) {
        reason = QStringLiteral("valor vazio.");
        return {};
    }
    switch (kind) {
    case Kind::Code:
        // A code is a key the cockpit matches and shows: a blank at an end or a control character would make
        // two codes that look alike, or one that cannot be shown.
        if (WireText::HasControlCharacter(text))
            reason = QStringLiteral("código de regional com caractere de controle: %1.").arg(shown(text));
        else if (text.trimmed() != text)
            reason = QStringLiteral("código de regional com espaço no início ou no fim: %1.").arg(shown(text));
        else if (WireText::CharacterCount(text) > kMaxCodeLength)
            reason = QStringLiteral("código de regional com mais de %1 caracteres: %2.").arg(kMaxCodeLength).arg(shown(text));
        return text;
    case Kind::Name: {
        const qsizetype length = WireText::CharacterCount(text);
        if (length > kMaxNameLength)
            reason = QStringLiteral("nome com mais de %1 caracteres (%2): %3.").arg(kMaxNameLength).arg(length).arg(shown(text));
        return text;
    }
    case Kind::Branch: {
        static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
        const qint64 code = digits.match(text).hasMatch() ? text.toLongLong() : 0;
        if (code <= 0) {
            reason = QStringLiteral("código de filial inválido: %1 (use um número inteiro positivo).").arg(shown(text));
            return {};
        }
        return code;
    }
    case Kind::Day: {
        const auto d = parseDay(text);
        if (!d) {
            reason = QStringLiteral("data inválida: %1 (use AAAA-MM-DD ou DD/MM/AAAA).").arg(shown(text));
            return {};
        }
        // A day's month ends where the next begins, and there is no month after December 9999.
        if (d->addMonths(1).year() > 9999) {
            reason = QStringLiteral("data fora do intervalo aceito: %1 (de 01/01/1900 a 30/11/9999).").arg(shown(text));
            return {};
        }
        if (day)
            *day = *d;
        return db.dateValue(*d);
    }
    case Kind::Month: {
        static const QRegularExpression month(QStringLiteral("^(\\d{4})-(\\d{2})$"));
        std::optional<QDate> d;
        if (const auto m = month.match(text); m.hasMatch()) {
            const QDate first(m.captured(1).toInt(), m.captured(2).toInt(), 1);
            if (first.isValid() && first.year() >= 1900)
                d = first;
        } else {
            d = parseDay(text);
        }
        if (!d) {
            reason = QStringLiteral("mês inválido: %1 (use AAAA-MM ou o primeiro dia do mês, AAAA-MM-01).").arg(shown(text));
            return {};
        }
        if (d->day() != 1) {
            reason = QStringLiteral("o mês deve ser informado pelo seu primeiro dia: %1.").arg(shown(text));
            return {};
        }
        return db.dateValue(*d);
    }
    case Kind::Money: {
        // Text, not a double: the exact decimal reaches PostgreSQL's NUMERIC unrounded.
        static const QRegularExpression dot(QStringLiteral("^[+-]?\\d{1,15}(\\.\\d{1,6})?$"));
        static const QRegularExpression comma(QStringLiteral("^[+-]?\\d{1,15}(,\\d{1,6})?$"));
        if (dot.match(text).hasMatch())
            return text;
        if (separator == QLatin1Char(';') && comma.match(text).hasMatch())
            return QString(text).replace(QLatin1Char(','), QLatin1Char('.'));
        reason = QStringLiteral("número inválido: %1 (use 1234.56, sem separador de milhar).").arg(shown(text));
        return {};
    }
    }
    return text;
}

struct StagedRow {
    qint64 line;
    QVariantList values;   // line first, then the staging columns
};

// Writes checked records of one file into its staging table, a batch at a time.
class StagingWriter {
public:
    StagingWriter(Database& db, const Table& table, const QString& file, const std::vector<int>& filePositions)
        : m_db(db), m_table(table), m_file(file), m_positions(filePositions)
    {
        m_columns << QStringLiteral("linha");
        for (const Column& c : table.columns)
            m_columns << QLatin1String(c.name);
        if (isDaily(table))
            m_columns << QStringLiteral("mes") << QStringLiteral("mesfim");
    }

    void add(StagedRow row)
    {
        m_pending.push_back(std::move(row));
        if (static_cast<int>(m_pending.size()) == kBatchRows)
            flush();
    }

    qint64 count() const { return m_count; }

    void flush()
    {
        if (m_pending.empty())
            return;
        const int n = static_cast<int>(m_pending.size());
        QSqlQuery* query = nullptr;
        QSqlQuery partial;
        if (n == kBatchRows) {
            if (!m_full)
                m_full = std::make_unique<QSqlQuery>(m_db.prepare(insertSql(n)));
            query = m_full.get();
        } else {
            partial = m_db.prepare(insertSql(n));
            query = &partial;
        }
        int position = 0;
        for (const StagedRow& r : m_pending) {
            query->bindValue(position++, r.line);
            for (const QVariant& v : r.values)
                query->bindValue(position++, v);
        }
        Database::exec(*query);
        // A key already staged is skipped rather than failing the statement (which on PostgreSQL
        // would end the transaction): fewer rows than sent means a repeated key in this batch.
        if (query->numRowsAffected() != n)
            reportRepeatedKey();
        m_count += n;
        m_pending.clear();
    }

private:
    QString insertSql(int rows) const
    {
        QString one = QStringLiteral("(?");
        for (int i = 1; i < m_columns.size(); ++i)
            one += QStringLiteral(", ?");
        one += QLatin1Char(')');
        QStringList all;
        for (int i = 0; i < rows; ++i)
            all << one;
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3 ON CONFLICT DO NOTHING")
            .arg(staging(m_table), m_columns.join(QStringLiteral(", ")), all.join(QStringLiteral(", ")));
    }

    [[noreturn]] void reportRepeatedKey()
    {
        QStringList where;
        for (int k = 0; k < m_table.keys; ++k)
            where << QStringLiteral("%1 = ?").arg(QLatin1String(m_table.columns[size_t(k)].name));
        QSqlQuery find = m_db.prepare(QStringLiteral("SELECT linha FROM %1 WHERE %2")
                                          .arg(staging(m_table), where.join(QStringLiteral(" AND "))));
        for (const StagedRow& r : m_pending) {
            for (int k = 0; k < m_table.keys; ++k)
                find.bindValue(k, r.values[k]);
            Database::exec(find);
            if (!find.next())
                continue;
            const qint64 first = find.value(0).toLongLong();
            find.finish();
            if (first == r.line)
                continue;
            QStringList key;
            for (int k = 0; k < m_table.keys; ++k) {
                QString v = r.values[k].toString();
                if (r.values[k].metaType().id() == QMetaType::QDate)
                    v = r.values[k].toDate().toString(Qt::ISODate);
                key << QStringLiteral("%1 %2").arg(QLatin1String(m_table.columns[size_t(k)].name), v);
            }
            throw ImportError(m_file, r.line, m_positions[0] + 1, QLatin1String(m_table.columns[0].name),
                              QStringLiteral("chave repetida (%1): já informada na linha %2.")
                                  .arg(key.join(QStringLiteral(", ")))
                                  .arg(first));
        }
        throw ImportError(m_file, m_pending.front().line, 0, {}, QStringLiteral("chave repetida neste arquivo."));
    }

    Database& m_db;
    const Table& m_table;
    QString m_file;
    std::vector<int> m_positions;   // file column of each table column
    QStringList m_columns;
    std::vector<StagedRow> m_pending;
    std::unique_ptr<QSqlQuery> m_full;
    qint64 m_count = 0;
};

class Import {
public:
    Import(Database& db, const QString& dir) : m_db(db), m_dir(dir) {}

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
                              QStringLiteral("nenhum dos arquivos regional.csv, filial.csv, movimento_diario.csv ou "
                                             "estoque_mensal.csv está na pasta."));

        ImportSummary summary;
        m_db.beginTransaction();
        try {
            createStaging();
            for (const Table* t : present)
                summary.files << qMakePair(fileOf(*t), stage(*t));
            checkReferences();
            apply();
            summary.loadedAt = QDateTime::currentDateTime();
            QSqlQuery load = m_db.prepare(QStringLiteral("INSERT INTO carga_etl (dtcarga) VALUES (?)"));
            load.bindValue(0, m_db.timestampValue(summary.loadedAt));
            Database::exec(load);
            dropStaging();
            m_db.commit();
        } catch (...) {
            m_db.rollback();
            throw;
        }
        return summary;
    }

private:
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

        StagingWriter writer(m_db, t, file, position);
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
            if (isDaily(t)) {
                const QDate first(day.year(), day.month(), 1);
                row.values << m_db.dateValue(first) << m_db.dateValue(first.addMonths(1));
            }
            writer.add(std::move(row));
        }
        writer.flush();
        return writer.count();
    }

    static QString columnList(const Table& t)
    {
        QStringList names;
        for (const Column& c : t.columns)
            names << QLatin1String(c.name);
        return names.join(QStringLiteral(", "));
    }

    // The first staged row (by line) whose code is neither in the real table nor in its staging.
    void checkReference(const char* table, const char* column, const char* parent, const char* key,
                        const QString& what)
    {
        const QString sql = QStringLiteral(
                                "SELECT s.linha, s.%2 FROM imp_%1 s "
                                "WHERE NOT EXISTS (SELECT 1 FROM %3 p WHERE p.%4 = s.%2) "
                                "  AND NOT EXISTS (SELECT 1 FROM imp_%3 p WHERE p.%4 = s.%2) "
                                "ORDER BY s.linha LIMIT 1")
                                .arg(QLatin1String(table), QLatin1String(column), QLatin1String(parent), QLatin1String(key));
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
    }

    void apply()
    {
        // INSERT ... SELECT ... ON CONFLICT: "WHERE true" keeps SQLite from reading ON as a join.
        m_db.execDirect(QStringLiteral(
            "INSERT INTO regional (cdareagere, nmareagere) SELECT cdareagere, nmareagere FROM imp_regional WHERE true "
            "ON CONFLICT (cdareagere) DO UPDATE SET nmareagere = excluded.nmareagere"));
        m_db.execDirect(QStringLiteral(
            "INSERT INTO filial (cdfilial, nmfilial, cdareagere) SELECT cdfilial, nmfilial, cdareagere FROM imp_filial WHERE true "
            "ON CONFLICT (cdfilial) DO UPDATE SET nmfilial = excluded.nmfilial, cdareagere = excluded.cdareagere"));
        m_db.execDirect(QStringLiteral("INSERT INTO imp_meses (cdfilial, mes, mesfim) "
                                       "SELECT DISTINCT cdfilial, mes, mesfim FROM imp_movimento_diario"));
        // SQLite's triggers recompute a branch-month per row written; a load sums each one it touched once
        // instead, in this same transaction (docs/schema-sqlite.sql). PostgreSQL's work per statement.
        const bool sumOnce = m_db.isSqlite() && summaryKept();
        if (sumOnce)
            m_db.execDirect(QStringLiteral("INSERT INTO movimento_mensal_carga (ativa) VALUES (1)"));
        m_db.execDirect(QStringLiteral(
            "DELETE FROM movimento_diario WHERE EXISTS (SELECT 1 FROM imp_meses s "
            "  WHERE s.cdfilial = movimento_diario.cdfilial "
            "    AND movimento_diario.dtmovimento >= s.mes AND movimento_diario.dtmovimento < s.mesfim)"));
        m_db.execDirect(QStringLiteral(
            "INSERT INTO movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) "
            "SELECT cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas FROM imp_movimento_diario"));
        if (sumOnce) {
            m_db.execDirect(QStringLiteral(
                "DELETE FROM movimento_mensal WHERE EXISTS (SELECT 1 FROM imp_meses s "
                "  WHERE s.cdfilial = movimento_mensal.cdfilial AND s.mes = movimento_mensal.mes)"));
            m_db.execDirect(QStringLiteral(
                "INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias) "
                "SELECT s.mes, s.cdfilial, SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas), COUNT(*) "
                "FROM imp_meses s JOIN movimento_diario d "
                "  ON d.cdfilial = s.cdfilial AND d.dtmovimento >= s.mes AND d.dtmovimento < s.mesfim "
                "GROUP BY s.cdfilial, s.mes"));
            m_db.execDirect(QStringLiteral("DELETE FROM movimento_mensal_carga"));
        }
        m_db.execDirect(QStringLiteral(
            "INSERT INTO estoque_mensal (cdfilial, mes, vrestoque) SELECT cdfilial, mes, vrestoque FROM imp_estoque_mensal "
            "WHERE true ON CONFLICT (cdfilial, mes) DO UPDATE SET vrestoque = excluded.vrestoque"));
    }

    // A database without the monthly summary (kpd-appserver makes it before a load; a bare schema may
    // lack it) has nothing to keep.
    bool summaryKept()
    {
        QSqlQuery q = m_db.prepare(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' "
                                                  "AND name IN ('movimento_mensal', 'movimento_mensal_carga')"));
        Database::exec(q);
        return q.next() && q.value(0).toInt() == 2;
    }

    Database& m_db;
    QDir m_dir;
};

} // namespace

ImportSummary CsvImporter::run(const QString& dir)
{
    ImportSummary summary = Import(m_db, dir).run();
    if (m_db.isPostgres()) {
        // Fresh statistics for the planner, and a visibility map so that a month's call reads its
        // rows from the covering index alone; without it the first calls after a large load read
        // the table too. The figures are committed already: a failure here loses nothing.
        try {
            m_db.execDirect(QStringLiteral("VACUUM (ANALYZE) regional, filial, movimento_diario, movimento_mensal, estoque_mensal, carga_etl"));
        } catch (const DatabaseError&) {
        }
    }
    return summary;
}

} // namespace appserver
