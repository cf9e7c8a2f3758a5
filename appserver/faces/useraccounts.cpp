#include "useraccounts.h"

#include <QFile>
#include <QSaveFile>

#include <sodium.h>

#include <algorithm>
#include <semaphore>

namespace appserver {

namespace {

constexpr std::ptrdiff_t kConcurrentChecks = 2;

bool validName(const QString& name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('@');
    });
}

bool initSodium(QString& error)
{
    if (sodium_init() < 0) {
        error = QStringLiteral("Não foi possível iniciar a biblioteca de criptografia (libsodium).");
        return false;
    }
    return true;
}

} // namespace

bool UserAccounts::load(const QString& path, QString& error)
{
    if (!initSodium(error))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de usuários \"%1\": %2.").arg(path, file.errorString());
        return false;
    }
    m_hashes.clear();
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype colon = line.indexOf(':');
        const QString name = QString::fromUtf8(line.left(colon));
        const QByteArray hash = line.mid(colon + 1);
        if (colon <= 0 || !validName(name) || !hash.startsWith("$argon2")) {
            error = QStringLiteral("O arquivo de usuários \"%1\" tem uma linha inválida (%2); use kpd-appserver --add-user.")
                        .arg(path)
                        .arg(lineNo);
            return false;
        }
        m_hashes.insert(name, hash);
    }
    if (m_hashes.isEmpty()) {
        error = QStringLiteral("O arquivo de usuários \"%1\" não tem nenhum usuário; use kpd-appserver --add-user.").arg(path);
        return false;
    }
    return true;
}

bool UserAccounts::addUser(const QString& path, const QString& name, const QByteArray& password, QString& error)
{
    if (!initSodium(error))
        return false;
    if (!validName(name)) {
        error = QStringLiteral("Nome de usuário inválido: \"%1\" (letras, números, . _ - @; até 64).").arg(name);
        return false;
    }
    if (password.size() < 8) {
        error = QStringLiteral("A senha deve ter pelo menos 8 caracteres.");
        return false;
    }
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), static_cast<unsigned long long>(password.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        error = QStringLiteral("Memória insuficiente para calcular o resumo da senha.");
        return false;
    }
    QByteArray content;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Não foi possível ler o arquivo de usuários \"%1\": %2.").arg(path, old.errorString());
            return false;
        }
        while (!old.atEnd()) {
            const QByteArray line = old.readLine();
            if (!line.startsWith(name.toUtf8() + ':'))
                content += line.endsWith('\n') ? line : line + '\n';
        }
    }
    content += name.toUtf8() + ':' + QByteArray(hash) + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || !file.commit()) {
        error = QStringLiteral("Não foi possível gravar o arquivo de usuários \"%1\": %2.").arg(path, file.errorString());
        return false;
    }
    return true;
}

UserAccounts::Check UserAccounts::check(const QString& address, const QString& name, const QByteArray& password,
                                        int* retryAfter)
{
    const auto now = std::chrono::steady_clock::now();
    QByteArray hash;
    {
        std::lock_guard lock(m_mutex);
        const Failures f = m_failures.value(address);
        if (f.count > 0 && now < f.until) {
            if (retryAfter)
                *retryAfter = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(f.until - now).count());
            return Check::Throttled;
        }
        hash = m_hashes.value(name);
    }
    // An unknown name costs as much as a known one, so the answer time does not tell names apart.
    static const QByteArray dummy = [] {
        char h[crypto_pwhash_STRBYTES];
        if (crypto_pwhash_str(h, "-", 1, crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
            return QByteArray("$argon2id$");   // verifies nothing; the answer stays a refusal
        return QByteArray(h);
    }();
    const bool known = !hash.isEmpty();
    // Each check takes some 64 MiB for a moment: a burst of sign-ins from many addresses waits here
    // rather than taking the machine's memory.
    static std::counting_semaphore<kConcurrentChecks> checks(kConcurrentChecks);
    checks.acquire();
    const bool ok = crypto_pwhash_str_verify(known ? hash.constData() : dummy.constData(), password.constData(),
                                             static_cast<unsigned long long>(password.size())) == 0
                    && known;
    checks.release();
    std::lock_guard lock(m_mutex);
    if (ok) {
        m_failures.remove(address);
        return Check::Accepted;
    }
    Failures& f = m_failures[address];
    f.count = std::min(f.count + 1, 7);
    f.until = std::chrono::steady_clock::now() + std::chrono::seconds(std::min(60, 1 << (f.count - 1)));
    // Addresses that stopped trying are forgotten, so the table cannot grow without end.
    if (m_failures.size() > 10000)
        for (auto it = m_failures.begin(); it != m_failures.end();)
            it = it.value().until < now ? m_failures.erase(it) : std::next(it);
    return Check::Refused;
}

} // namespace appserver
