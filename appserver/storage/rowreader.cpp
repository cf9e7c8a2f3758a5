// Database::forEachRow: rows straight from the engine's library, without a QVariant per value.
#include "database.h"

#include "driverhandles.h"

#include <QSqlQuery>

#include <cstdlib>
#include <memory>
#include <vector>

namespace appserver {

using namespace driver;

namespace {

class SqliteRow final : public Database::Row {
public:
    explicit SqliteRow(sqlite3_stmt* statement) : m_statement(statement) {}
    bool isNull(int c) const override { return sqlite3_column_type(m_statement, c) == SQLITE_NULL; }
    qint64 integer(int c) const override { return sqlite3_column_int64(m_statement, c); }
    double real(int c) const override { return sqlite3_column_double(m_statement, c); }
    QByteArray text(int c) const override
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, c));
        return QByteArray(data, sqlite3_column_bytes(m_statement, c));
    }
    QByteArray bytes(int c) const override
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_statement, c));
        return QByteArray(data, sqlite3_column_bytes(m_statement, c));
    }

private:
    sqlite3_stmt* m_statement;
};

class PostgresRow final : public Database::Row {
public:
    PostgresRow(const PGresult* result, int row) : m_result(result), m_row(row) {}
    bool isNull(int c) const override { return PQgetisnull(m_result, m_row, c) != 0; }
    qint64 integer(int c) const override { return std::strtoll(PQgetvalue(m_result, m_row, c), nullptr, 10); }
    // strtod rounds the decimal text correctly, as QString::toDouble() does: the same double.
    double real(int c) const override { return std::strtod(PQgetvalue(m_result, m_row, c), nullptr); }
    QByteArray text(int c) const override
    {
        return QByteArray(PQgetvalue(m_result, m_row, c), PQgetlength(m_result, m_row, c));
    }
    // Rows come as text: a BYTEA in its escaped form.
    QByteArray bytes(int c) const override
    {
        size_t length = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(m_result, m_row, c)), &length);
        const QByteArray result(reinterpret_cast<const char*>(raw), qsizetype(length));
        PQfreemem(raw);
        return result;
    }

private:
    const PGresult* m_result;
    int m_row;
};

QByteArray parameterText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate).toUtf8();
    return value.toString().toUtf8();
}

} // namespace

void Database::forEachRow(const QString& sql, const QVariantList& params, const std::function<void(const Row&)>& row)
{
    const QSqlDatabase db = connection();
    checkInterrupt(db);
    const QString what = QStringLiteral("Erro ao consultar o banco de dados");
    QList<QByteArray> texts;
    for (const QVariant& p : params)
        texts << parameterText(p);

    if (sqlite3* handle = isSqlite() ? sqliteHandle(db.driver()) : nullptr) {
        const auto failed = [&](int code) -> DatabaseError {
            if (code == SQLITE_INTERRUPT && StatementInterrupt::current() && StatementInterrupt::current()->interrupted())
                return DatabaseError(StatementInterrupt::message());
            return sqliteError(what, handle, QString::fromUtf8(sqlite3_errmsg(handle)));
        };
        int rc = SQLITE_OK;
        sqlite3_stmt* statement = preparedSqlite(connectionName(), handle, sql.toUtf8(), &rc);
        if (!statement)
            throw failed(rc);
        // Ready for the next call, however this one ends.
        const std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)> reset(statement, [](sqlite3_stmt* s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        });
        for (int i = 0; i < texts.size(); ++i) {
            if (params[i].typeId() == QMetaType::LongLong || params[i].typeId() == QMetaType::Int)
                sqlite3_bind_int64(statement, i + 1, params[i].toLongLong());
            else
                sqlite3_bind_text(statement, i + 1, texts[i].constData(), int(texts[i].size()), SQLITE_TRANSIENT);
        }
        const SqliteRow current(statement);
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            row(current);
        if (rc != SQLITE_DONE)
            throw failed(rc);
        return;
    }

    if (PGconn* conn = isPostgres() ? postgresHandle(db.driver()) : nullptr) {
        const std::unique_ptr<PGresult, void (*)(PGresult*)> result = runPostgres(conn, sql, params, what);
        const int rows = PQntuples(result.get());
        for (int r = 0; r < rows; ++r)
            row(PostgresRow(result.get(), r));
        return;
    }

    // Another driver: the same rows through Qt.
    QSqlQuery query = prepare(sql);
    for (const QVariant& p : params)
        query.addBindValue(p);
    exec(query);
    class VariantRow final : public Row {
    public:
        explicit VariantRow(const QSqlQuery& q) : m_q(q) {}
        bool isNull(int c) const override { return m_q.isNull(c); }
        qint64 integer(int c) const override { return m_q.value(c).toLongLong(); }
        double real(int c) const override { return m_q.value(c).toDouble(); }
        QByteArray text(int c) const override { return m_q.value(c).toString().toUtf8(); }
        QByteArray bytes(int c) const override { return m_q.value(c).toByteArray(); }

    private:
        const QSqlQuery& m_q;
    };
    while (query.next())
        row(VariantRow(query));
}

std::unique_ptr<PGresult, void (*)(PGresult*)> Database::runPostgres(PGconn* conn, const QString& sql, const QVariantList& params,
                                                                    const QString& what)
{
    // libpq numbers its parameters.
    QByteArray utf8;
    int n = 0;
    for (const QChar c : sql) {
        if (c == QLatin1Char('?'))
            utf8 += '$' + QByteArray::number(++n);
        else
            utf8 += QString(c).toUtf8();
    }
    // Bytes go as they are (binary), not escaped into text the server has to read back.
    QList<QByteArray> texts;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const QVariant& p : params) {
        const bool binary = p.typeId() == QMetaType::QByteArray;
        texts << (binary ? p.toByteArray() : parameterText(p));
        lengths.push_back(int(texts.back().size()));
        formats.push_back(binary ? 1 : 0);
    }
    for (const QByteArray& t : texts)
        values.push_back(t.constData());
    const auto run = [&]() -> PGresult* {
        QString error;
        const QByteArray name = preparedPostgres(connectionName(), conn, utf8, int(values.size()), &error);
        if (name.isEmpty())
            return PQexecParams(conn, utf8.constData(), int(values.size()), nullptr, values.data(), lengths.data(),
                                formats.data(), 0);
        return PQexecPrepared(conn, name.constData(), int(values.size()), values.data(), lengths.data(), formats.data(), 0);
    };
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(run(), PQclear);
    // A server that no longer knows the statement (a pooler between, DISCARD ALL): prepared again.
    if (result && PQresultStatus(result.get()) == PGRES_FATAL_ERROR
        && qstrcmp(PQresultErrorField(result.get(), PG_DIAG_SQLSTATE), "26000") == 0) {
        forgetPrepared(connectionName());
        result.reset(run());
    }
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        StatementInterrupt::throwIfInterrupted();
        const QString message = QString::fromUtf8(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(conn)).simplified();
        if (PQstatus(conn) == CONNECTION_BAD) {
            markConnectionsStale();
            throw DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                               "será aberta na próxima chamada.")
                                    .arg(message),
                                true, false, DatabaseError::Kind::Unavailable);
        }
        throw DatabaseError(QStringLiteral("%1: %2").arg(what, message.isEmpty() ? QStringLiteral("erro desconhecido") : message),
                            false, false, DatabaseError::Kind::Failed);
    }
    return result;
}

void Database::write(const QString& sql, const QVariantList& params)
{
    const QSqlDatabase db = connection();
    checkInterrupt(db);
    if (PGconn* conn = isPostgres() ? postgresHandle(db.driver()) : nullptr) {
        runPostgres(conn, sql, params, QStringLiteral("Erro ao gravar no banco de dados"));
        return;
    }
    QSqlQuery query = prepare(sql);
    for (const QVariant& p : params)
        query.addBindValue(p);
    exec(query);
}

} // namespace appserver
