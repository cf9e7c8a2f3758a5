#include "useraccounts.h"

#include <QFile>
#include <QSaveFile>

#include <sodium.h>

#include <algorithm>
#include <semaphore>

#include <sys/stat.h>

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

// The file's lines without name's, each ending in a newline.
bool linesWithout(const QString& path, const QString& name, QByteArray& content, bool& found, QString& error)
{
    found = false;
    QFile old(path);
    if (!old.exists())
        return true;
    if (!old.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de usuários \"%1\": %2.").arg(path, old.errorString());
        return false;
    }
    while (!old.atEnd()) {
        const QByteArray line = old.readLine();
        if (line.startsWith(name.toUtf8() + ':'))
            found = true;
        else
            content += line.endsWith('\n') ? line : line + '\n';
    }
    return true;
}

bool write(const QString& path, const QByteArray& content, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || !file.commit()) {
        error = QStringLiteral("Não foi possível gravar o arquivo de usuários \"%1\": %2.").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

bool UserAccounts::read(const QString& path, QHash<QString, QByteArray>& hashes, Signature& signature, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de usuários \"%1\": %2.").arg(path, file.errorString());
        return false;
    }
    // The descriptor's own status: the file checked is the file read, even if it is replaced meanwhile.
    struct stat st {};
    if (fstat(file.handle(), &st) != 0) {
        error = QStringLiteral("Não foi possível ler o arquivo de usuários \"%1\".").arg(path);
        return false;
    }
    signature = {quint64(st.st_dev), quint64(st.st_ino), quint64(st.st_size),
                 qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                 qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        error = QStringLiteral("Recusado: o arquivo de usuários \"%1\" pode ser alterado por outros usuários da máquina "
                               "(permissões %2); qualquer um deles poderia incluir uma senha. Use chmod 600 \"%1\".")
                    .arg(path)
                    .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return false;
    }
    hashes.clear();
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
        hashes.insert(name, hash);
    }
    if (hashes.isEmpty()) {
        error = QStringLiteral("O arquivo de usuários \"%1\" não tem nenhum usuário; use kpd-appserver --add-user.").arg(path);
        return false;
    }
    return true;
}

bool UserAccounts::load(const QString& path, QString& error)
{
    if (!initSodium(error))
        return false;
    QHash<QString, QByteArray> hashes;
    Signature signature;
    if (!read(path, hashes, signature, error))
        return false;
    std::lock_guard lock(m_mutex);
    m_path = path;
    m_signature = signature;
    m_hashes = std::move(hashes);
    return true;
}

bool UserAccounts::refresh(QString& error, bool force)
{
    QString path;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
    }
    if (path.isEmpty())
        return true;
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0 && !force)
        return true;   // being replaced right now, or gone: the users read last stay
    const Signature now{quint64(st.st_dev), quint64(st.st_ino), quint64(st.st_size),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                        qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    if (!force) {
        std::lock_guard lock(m_mutex);
        if (now == m_signature || now == m_refused)
            return true;
    }
    QHash<QString, QByteArray> hashes;
    Signature signature;
    const bool ok = read(path, hashes, signature, error);
    std::lock_guard lock(m_mutex);
    if (!ok) {
        m_refused = now;
        return false;
    }
    m_signature = signature;
    m_refused = {};
    m_hashes = std::move(hashes);
    return true;
}

int UserAccounts::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_hashes.size());
}

QByteArray UserAccounts::credential(const QString& name) const
{
    std::lock_guard lock(m_mutex);
    return m_hashes.value(name);
}

bool UserAccounts::verify(const QString& name, const QByteArray& password) const
{
    const QByteArray hash = credential(name);
    static const QByteArray dummy = [] {
        char h[crypto_pwhash_STRBYTES];
        if (crypto_pwhash_str(h, "-", 1, crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
            return QByteArray("$argon2id$");   // verifies nothing; the answer stays a refusal
        return QByteArray(h);
    }();
    const bool known = !hash.isEmpty();
    // Each check takes some 64 MiB for a moment: a burst of sign-ins waits here rather than taking the
    // machine's memory.
    static std::counting_semaphore<kConcurrentChecks> checks(kConcurrentChecks);
    checks.acquire();
    const bool ok = crypto_pwhash_str_verify(known ? hash.constData() : dummy.constData(), password.constData(),
                                             static_cast<unsigned long long>(password.size())) == 0
                    && known;
    checks.release();
    return ok;
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
    bool found = false;
    if (!linesWithout(path, name, content, found, error))
        return false;
    content += name.toUtf8() + ':' + QByteArray(hash) + '\n';
    return write(path, content, error);
}

bool UserAccounts::removeUser(const QString& path, const QString& name, QString& error)
{
    QByteArray content;
    bool found = false;
    if (!linesWithout(path, name, content, found, error))
        return false;
    if (!found) {
        error = QStringLiteral("O usuário \"%1\" não está no arquivo de usuários \"%2\".").arg(name, path);
        return false;
    }
    return write(path, content, error);
}

} // namespace appserver
