#include "alertwatch.h"

#include "dataversion.h"
#include "mailsender.h"
#include "rdmindicresult.h"
#include "refmonth.h"
#include "schema.h"
#include "scorecard.h"

#include <QDateTime>

#include <optional>

namespace appserver {

namespace {

qint64 nowSeconds() { return QDateTime::currentSecsSinceEpoch(); }

QString scopeWords(const cockpit::Scope& scope)
{
    return scope.kind == cockpit::ScopeKind::Company ? QStringLiteral("A empresa (TOTAL)")
                                                     : QStringLiteral("A regional %1").arg(scope.code.trimmed());
}

struct Message {
    QString subject;
    QString body;
};

Message compose(const AlertRule& rule, const AlertRules& rules, const cockpit::Scorecard& card, const cockpit::ScopeCard& scope,
                const std::optional<double>& before)
{
    const cockpit::Measure& m = scope[rule.indicator];
    const QString title = QLatin1String(cockpit::info(rule.indicator).title);
    const QString zone = cockpit::ZoneWord(m.zone);
    const QString month = card.month.firstDay().toString(QStringLiteral("MM/yyyy"));
    const QString figure = m.figure ? cockpit::FigureText(rule.indicator, *m.figure) : QStringLiteral("sem valor");
    Message out;
    out.subject = QStringLiteral("Alerta: %1 — %2 entrou no %3 (%4)")
                      .arg(scope.scope.kind == cockpit::ScopeKind::Company ? QStringLiteral("empresa")
                                                                           : QStringLiteral("regional ") + scope.scope.code.trimmed(),
                           title, zone, month);
    QStringList lines;
    lines << QStringLiteral("%1 entrou no %2 em %3, no mês %4%5.")
                 .arg(scopeWords(scope.scope), zone, title, month,
                      card.partial() ? QStringLiteral(" (parcial, até %1)").arg(card.partialUntil.toString(QStringLiteral("dd/MM")))
                                     : QString());
    lines << QString();
    lines << QStringLiteral("Valor: %1").arg(figure);
    if (m.source == cockpit::TargetSource::OwnFigure)
        lines << QStringLiteral("Meta: não definida");
    else if (const QString target = cockpit::TargetText(rule.indicator, m); !target.isEmpty())
        lines << QStringLiteral("Meta: %1").arg(target.mid(5));   // TargetText starts with "meta "
    lines << (before ? QStringLiteral("Mudança: de %1 para %2 desde a verificação anterior.")
                           .arg(cockpit::FigureText(rule.indicator, *before), figure)
                     : QStringLiteral("Mudança: primeira leitura deste mês."));
    if (m.previous)
        lines << QStringLiteral("Mês anterior: %1").arg(cockpit::FigureText(rule.indicator, *m.previous));
    if (!card.lastLoad.isEmpty())
        lines << QStringLiteral("Última carga: %1").arg(card.lastLoad);
    if (!rules.pageBase.isEmpty()) {
        const QString mes = card.month.key();
        lines << QString()
              << (scope.scope.kind == cockpit::ScopeKind::Company
                      ? QStringLiteral("Veja o painel: %1/?mes=%2").arg(rules.pageBase, mes)
                      : QStringLiteral("Veja a regional: %1/regiao/%2?mes=%3").arg(rules.pageBase, scope.scope.code.trimmed(), mes));
    }
    lines << QString()
          << QStringLiteral("Mensagem automática do servidor dos Indicadores de Resultado: uma por mudança de situação "
                            "(regra da linha %1).")
                 .arg(rule.line);
    out.body = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return out;
}

int affected(QSqlQuery& q) { return q.numRowsAffected(); }

} // namespace

AlertWatch::AlertWatch(AlertRules rules, const DatabaseSettings& writer, const RdmIndicResult& cockpit, Log log, Count count,
                       std::chrono::milliseconds interval)
    : m_rules(std::move(rules)), m_db([&] {
          DatabaseSettings s = writer.withNameSuffix(QStringLiteral("-alertas"));
          s.readOnly = false;
          s.statementTimeoutMs = 30000;
          return s;
      }()),
      m_cockpit(cockpit), m_log(std::move(log)), m_count(std::move(count)), m_interval(interval)
{
}

AlertWatch::~AlertWatch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
    if (m_sender.joinable())
        m_sender.join();
}

void AlertWatch::prepare()
{
    Schema::ensureAlerts(m_db);
}

void AlertWatch::start()
{
    m_watcher = std::thread([this] { watch(); });
    m_sender = std::thread([this] { send(); });
}

bool AlertWatch::wait(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, time, [this] { return m_stopping || m_queued; });
    m_queued = false;
    return !m_stopping;
}

// The data version where the database keeps one; else the loads' table, which every import writes.
QString AlertWatch::signature()
{
    const DataVersion::Value v = DataVersion::read(m_db);
    if (v.counter >= 0)
        return QStringLiteral("%1/%2/%3").arg(v.origin).arg(v.counter).arg(v.shape);
    QString loads;
    m_db.forEachRow(QStringLiteral("SELECT COUNT(*), MAX(dtcarga) FROM carga_etl"), {}, [&](const Database::Row& row) {
        loads = QString::fromUtf8(row.text(0) + ' ' + row.text(1));
    });
    return loads;
}

void AlertWatch::watch()
{
    QString checked;
    QString lastError;
    do {
        try {
            const QString now = signature();
            if (now != checked) {
                check();
                checked = now;
            }
            lastError.clear();
        } catch (const DatabaseError& e) {
            // Said once until it changes; the same version is looked at again next time.
            if (e.message() != lastError)
                m_log(QStringLiteral("alertas: não foi possível verificar os indicadores: %1").arg(e.message()));
            lastError = e.message();
        } catch (const CallEnded& e) {
            m_log(QStringLiteral("alertas: não foi possível verificar os indicadores: %1").arg(e.message()));
        } catch (const std::exception& e) {
            // Nothing may end the server from this thread; the next change of the figures is looked at again.
            m_log(QStringLiteral("alertas: falha inesperada ao verificar os indicadores: %1").arg(QString::fromLocal8Bit(e.what())));
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, m_interval, [this] { return m_stopping; });
    } while (!m_stopping);
}

int AlertWatch::check()
{
    const DataVersion::Value version = DataVersion::read(m_db);
    const QList<cockpit::RefMonth> months = RdmIndicResult::monthsToWatch(m_db, version);
    std::vector<cockpit::Scorecard> cards;
    for (const cockpit::RefMonth& month : months) {
        CallScope scope;
        scope.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        cards.push_back(cockpit::MonthScorecard(monthFigures(m_cockpit.month(month, scope))));
    }

    int queued = 0;
    m_db.beginWriting();
    try {
        for (const AlertRule& rule : m_rules.rules) {
            const QString ruleKey = rule.key();
            QSqlQuery any = m_db.prepare(QStringLiteral("SELECT 1 FROM alerta_estado WHERE regra = ? LIMIT 1"));
            any.addBindValue(ruleKey);
            Database::exec(any);
            // A rule seen for the first time learns where the figures stand: what was red before it existed
            // did not turn red now.
            const bool first = !any.next();
            any.finish();
            for (const cockpit::Scorecard& card : cards) {
                for (const cockpit::ScopeCard& scope : card.scopes) {
                    if (!rule.watches(scope.scope))
                        continue;
                    const cockpit::Measure& m = scope[rule.indicator];
                    const bool inZone = m.zone == rule.zone;
                    const QString key = QStringLiteral("%1|%2|%3").arg(ruleKey, card.month.key(), scope.scope.code.trimmed());
                    const QVariant figure = m.figure ? QVariant(*m.figure) : QVariant(QMetaType(QMetaType::Double));
                    QSqlQuery add = m_db.prepare(QStringLiteral(
                        "INSERT INTO alerta_estado (chave, regra, na_zona, valor) VALUES (?, ?, ?, ?) ON CONFLICT (chave) DO NOTHING"));
                    add.addBindValue(key);
                    add.addBindValue(ruleKey);
                    add.addBindValue(first && inZone ? 1 : 0);
                    add.addBindValue(figure);
                    Database::exec(add);
                    if (first && affected(add) == 1)
                        continue;
                    QSqlQuery read = m_db.prepare(QStringLiteral("SELECT na_zona, valor FROM alerta_estado WHERE chave = ?"));
                    read.addBindValue(key);
                    Database::exec(read);
                    if (!read.next())
                        continue;
                    const bool was = read.value(0).toInt() != 0;
                    const std::optional<double> before =
                        read.value(1).isNull() ? std::nullopt : std::optional<double>(read.value(1).toDouble());
                    read.finish();
                    // Moved only from the state read: another instance that moved it first leaves nothing to move.
                    QSqlQuery move = m_db.prepare(QStringLiteral("UPDATE alerta_estado SET na_zona = ?, valor = ? WHERE chave = ? AND na_zona = ?"));
                    move.addBindValue(inZone ? 1 : 0);
                    move.addBindValue(figure);
                    move.addBindValue(key);
                    move.addBindValue(was ? 1 : 0);
                    Database::exec(move);
                    if (!inZone || was || affected(move) != 1)
                        continue;
                    const Message message = compose(rule, m_rules, card, scope, before);
                    QSqlQuery out = m_db.prepare(QStringLiteral(
                        "INSERT INTO alerta_saida (chave, destinatarios, assunto, corpo, criada, estado, tentativas) "
                        "VALUES (?, ?, ?, ?, ?, 'pendente', 0)"));
                    out.addBindValue(key);
                    out.addBindValue(rule.recipients.join(QLatin1Char(' ')));
                    out.addBindValue(message.subject);
                    out.addBindValue(message.body);
                    out.addBindValue(nowSeconds());
                    Database::exec(out);
                    m_log(QStringLiteral("alertas: %1").arg(message.subject));
                    ++queued;
                }
            }
        }
        m_db.commit();
    } catch (...) {
        m_db.rollback();
        throw;
    }
    if (queued > 0) {
        {
            std::lock_guard lock(m_mutex);
            m_queued = true;
        }
        m_changed.notify_all();
    }
    return queued;
}

void AlertWatch::send()
{
    // Also looks now and then without being told: another instance's reservation may have run out.
    const auto look = std::max(m_interval * 5, std::chrono::milliseconds(5000));
    do {
        try {
            sendPending();
        } catch (const DatabaseError& e) {
            m_log(QStringLiteral("alertas: não foi possível ler as mensagens a enviar: %1").arg(e.message()));
        } catch (const std::exception& e) {
            m_log(QStringLiteral("alertas: falha inesperada ao enviar: %1").arg(QString::fromLocal8Bit(e.what())));
        }
    } while (wait(look));
}

void AlertWatch::sendPending()
{
    const MailRelay& relay = m_rules.relay;
    // Long enough for every attempt of one message; then another instance may take it over.
    const qint64 reservation = relay.retryFor.count() + 2 * relay.timeout.count() + 60;
    struct Pending {
        qint64 id;
        QString to, subject, body;
    };
    std::vector<Pending> pending;
    QSqlQuery list = m_db.prepare(QStringLiteral(
        "SELECT id, destinatarios, assunto, corpo FROM alerta_saida WHERE estado = 'pendente' "
        "AND (reservada_ate IS NULL OR reservada_ate < ?) ORDER BY id"));
    list.addBindValue(nowSeconds());
    Database::exec(list);
    while (list.next())
        pending.push_back({list.value(0).toLongLong(), list.value(1).toString(), list.value(2).toString(), list.value(3).toString()});
    list.finish();

    for (const Pending& p : pending) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
        }
        QSqlQuery take = m_db.prepare(QStringLiteral(
            "UPDATE alerta_saida SET reservada_ate = ? WHERE id = ? AND estado = 'pendente' "
            "AND (reservada_ate IS NULL OR reservada_ate < ?)"));
        take.addBindValue(nowSeconds() + reservation);
        take.addBindValue(p.id);
        take.addBindValue(nowSeconds());
        Database::exec(take);
        if (affected(take) != 1)
            continue;   // another instance took it
        MailMessage message;
        message.to = p.to.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        message.subject = p.subject;
        message.body = p.body;
        int attempts = 1;
        const MailSender::Result r = MailSender::send(
            relay, message,
            [&](const QString& why) {
                ++attempts;
                m_count("nova_tentativa");
                m_log(QStringLiteral("alertas: \"%1\": %2").arg(p.subject, why));
            },
            [this] {
                std::lock_guard lock(m_mutex);
                return m_stopping;
            });
        bool stopped = false;
        {
            std::lock_guard lock(m_mutex);
            stopped = m_stopping && !r.sent;
        }
        QSqlQuery done = m_db.prepare(stopped ? QStringLiteral("UPDATE alerta_saida SET reservada_ate = NULL, tentativas = tentativas + ?, "
                                                               "erro = ? WHERE id = ?")
                                              : QStringLiteral("UPDATE alerta_saida SET estado = ?, tentativas = tentativas + ?, erro = ?, "
                                                               "enviada = ? WHERE id = ?"));
        if (!stopped)
            done.addBindValue(r.sent ? QStringLiteral("enviada") : QStringLiteral("falhou"));
        done.addBindValue(attempts);
        done.addBindValue(r.sent ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.error));
        if (!stopped)
            done.addBindValue(r.sent ? QVariant(nowSeconds()) : QVariant(QMetaType(QMetaType::LongLong)));
        done.addBindValue(p.id);
        Database::exec(done);
        if (stopped) {
            m_log(QStringLiteral("alertas: \"%1\" fica para o próximo início (%2)").arg(p.subject, r.error));
        } else if (r.sent) {
            m_count("enviada");
            m_log(QStringLiteral("alertas: enviada \"%1\" a %2").arg(p.subject, p.to));
        } else {
            m_count("nao_enviada");
            m_log(QStringLiteral("alertas: NÃO ENVIADA \"%1\" a %2: %3 (fica em alerta_saida, id %4)")
                      .arg(p.subject, p.to, r.error)
                      .arg(p.id));
        }
    }
}

} // namespace appserver
