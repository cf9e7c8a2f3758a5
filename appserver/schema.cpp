#include "schema.h"

#include "database.h"

#include <QFile>
#include <QRegularExpression>

static void initSchemaResource()
{
    // The resource sits in a static library; nothing else would pull its registration in.
    Q_INIT_RESOURCE(appserver);
}

namespace appserver {

namespace {

bool isIndex(const QString& statement)
{
    static const QRegularExpression re(QStringLiteral("^CREATE\\s+(UNIQUE\\s+)?INDEX\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(statement).hasMatch();
}

} // namespace

const QStringList& Schema::tableNames()
{
    static const QStringList names{QStringLiteral("regional"), QStringLiteral("filial"),
                                   QStringLiteral("movimento_diario"), QStringLiteral("estoque_mensal"),
                                   QStringLiteral("carga_etl")};
    return names;
}

QStringList Schema::statements()
{
    initSchemaResource();
    QFile file(QStringLiteral(":/kpd/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("O esquema do banco de dados não foi incluído no programa."));
    QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    text.remove(comment);
    QStringList result;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString statement = part.trimmed();
        if (!statement.isEmpty())
            result << statement;
    }
    return result;
}

void Schema::create(Database& db, bool withIndexes)
{
    for (const QString& statement : statements()) {
        if (withIndexes || !isIndex(statement))
            db.execDirect(statement);
    }
}

void Schema::createIndexes(Database& db)
{
    for (const QString& statement : statements()) {
        if (isIndex(statement))
            db.execDirect(statement);
    }
}

bool Schema::ensure(Database& db)
{
    const QStringList present = db.connection().tables();
    QStringList missing;
    for (const QString& table : tableNames()) {
        if (!present.contains(table, Qt::CaseInsensitive))
            missing << table;
    }
    if (missing.isEmpty())
        return false;
    if (missing.size() != tableNames().size())
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" tem só parte das tabelas (faltam: %2); "
                                           "complete-o com docs/schema.sql.")
                                .arg(db.settings().displayName(), missing.join(QStringLiteral(", "))));
    db.beginTransaction();
    try {
        create(db);
        db.commit();
    } catch (const DatabaseError&) {
        db.rollback();
        throw;
    }
    return true;
}

void Schema::verify(Database& db, bool viewsWillDo)
{
    const QStringList present = db.connection().tables(viewsWillDo ? QSql::TableType(QSql::Tables | QSql::Views) : QSql::Tables);
    for (const QString& table : tableNames()) {
        if (!present.contains(table, Qt::CaseInsensitive))
            throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não tem a tabela \"%2\"; crie-o com docs/schema.sql.")
                                    .arg(db.settings().displayName(), table));
    }
}

} // namespace appserver
