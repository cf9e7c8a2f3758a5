#include "directoryaccounts.h"

#include "loopback.h"

#include <QFile>

#include <ldap.h>

#include <memory>
#include <new>

namespace appserver {

namespace {

QString said(int code) { return QString::fromUtf8(ldap_err2string(code)); }

// Errors of the connection rather than of the credentials: the directory could not judge the password.
bool isOutage(int code)
{
    return code == LDAP_SERVER_DOWN || code == LDAP_TIMEOUT || code == LDAP_CONNECT_ERROR || code == LDAP_UNAVAILABLE
           || code == LDAP_BUSY || code == LDAP_TIMELIMIT_EXCEEDED || code == LDAP_LOCAL_ERROR || code == LDAP_NO_MEMORY
           || code == LDAP_OTHER;
}

struct Unbind {
    void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using Connection = std::unique_ptr<LDAP, Unbind>;

int simpleBind(LDAP* ld, const QByteArray& dn, const QByteArray& password)
{
    berval cred{static_cast<ber_len_t>(password.size()), const_cast<char*>(password.constData())};
    return ldap_sasl_bind_s(ld, dn.constData(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
}

} // namespace

QString DirectoryAccounts::escapeFilter(const QString& value)
{
    QByteArray utf8 = value.toUtf8();
    berval in{static_cast<ber_len_t>(utf8.size()), utf8.data()};
    berval out{0, nullptr};
    if (ldap_bv2escaped_filter_value(&in, &out) != LDAP_SUCCESS)
        throw std::bad_alloc();   // its only failure
    const QString escaped = QString::fromUtf8(out.bv_val, qsizetype(out.bv_len));
    ber_memfree(out.bv_val);
    return escaped;
}

QString DirectoryAccounts::escapeDn(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c.unicode() == 0)
            out += QStringLiteral("\\00");
        else if (QStringLiteral(",+\"\\<>;=").contains(c) || (i == 0 && (c == QLatin1Char(' ') || c == QLatin1Char('#')))
                 || (i == value.size() - 1 && c == QLatin1Char(' ')))
            out += QLatin1Char('\\') + c;
        else
            out += c;
    }
    return out;
}

bool DirectoryAccounts::configure(const Settings& settings, QString& error)
{
    LDAPURLDesc* url = nullptr;
    const QByteArray uri = settings.uri.toUtf8();
    if (uri.contains(' ') || ldap_url_parse(uri.constData(), &url) != LDAP_URL_SUCCESS) {
        error = QStringLiteral("Endereço inválido em --ldap: \"%1\" (use ldaps://SERVIDOR ou ldap://SERVIDOR).").arg(settings.uri);
        return false;
    }
    const QString scheme = QString::fromUtf8(url->lud_scheme).toLower();
    const QString host = QString::fromUtf8(url->lud_host ? url->lud_host : "");
    ldap_free_urldesc(url);
    if ((scheme != QLatin1String("ldap") && scheme != QLatin1String("ldaps")) || host.isEmpty()) {
        error = QStringLiteral("Endereço inválido em --ldap: \"%1\" (use ldaps://SERVIDOR ou ldap://SERVIDOR).").arg(settings.uri);
        return false;
    }
    if (settings.bindDnPattern.isEmpty() == (settings.base.isEmpty() || settings.filter.isEmpty())) {
        error = QStringLiteral("Diga como achar o usuário no diretório: --ldap-base com --ldap-filter, ou --ldap-bind-dn "
                               "(um dos dois).");
        return false;
    }
    const QString& pattern = settings.bindDnPattern.isEmpty() ? settings.filter : settings.bindDnPattern;
    if (pattern.count(QStringLiteral("%s")) != 1) {
        error = QStringLiteral("%1 precisa de um %s, onde entra o nome de usuário: \"%2\".")
                    .arg(settings.bindDnPattern.isEmpty() ? QStringLiteral("--ldap-filter") : QStringLiteral("--ldap-bind-dn"), pattern);
        return false;
    }
    if (!settings.serviceDn.isEmpty() && settings.servicePassword.isEmpty()) {
        error = QStringLiteral("--ldap-bind-user precisa de uma senha: --ldap-bind-password-file ARQUIVO ou a variável "
                               "KPD_LDAP_BIND_PASSWORD.");
        return false;
    }
    if (!settings.caFile.isEmpty() && !QFile(settings.caFile).open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler a autoridade certificadora do diretório \"%1\".").arg(settings.caFile);
        return false;
    }
    m_settings = settings;
    // Plain LDAP carries the passwords in clear: only over loopback, everywhere else StartTLS first.
    m_startTls = scheme == QLatin1String("ldap") && !isLoopbackHost(host);
    return true;
}

DirectoryAccounts::Result DirectoryAccounts::verify(const QString& name, const QByteArray& password) const
{
    if (password.isEmpty())
        return {Verdict::EmptyPassword, QStringLiteral("senha vazia")};
    if (name.isEmpty())
        return {Verdict::Refused, QStringLiteral("nome vazio")};

    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, m_settings.uri.toUtf8().constData()) != LDAP_SUCCESS || !raw)
        return {Verdict::Unavailable, QStringLiteral("ldap_initialize falhou")};
    const Connection ld(raw);
    const int version = LDAP_VERSION3;
    const auto ms = m_settings.timeout.count();
    timeval timeout{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    const int demand = LDAP_OPT_X_TLS_DEMAND, fresh = 0;
    const QByteArray ca = QFile::encodeName(m_settings.caFile);
    // Referrals off: a directory must not send the password on to another server.
    if (ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS
        || ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS
        || ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &timeout) != LDAP_OPT_SUCCESS
        || ldap_set_option(raw, LDAP_OPT_TIMEOUT, &timeout) != LDAP_OPT_SUCCESS
        || ldap_set_option(raw, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) != LDAP_OPT_SUCCESS
        || (!ca.isEmpty() && ldap_set_option(raw, LDAP_OPT_X_TLS_CACERTFILE, ca.constData()) != LDAP_OPT_SUCCESS)
        || ldap_set_option(raw, LDAP_OPT_X_TLS_NEWCTX, &fresh) != LDAP_OPT_SUCCESS)
        return {Verdict::Unavailable, QStringLiteral("opções da conexão recusadas pela biblioteca LDAP")};
    if (m_startTls) {
        if (const int rc = ldap_start_tls_s(raw, nullptr, nullptr); rc != LDAP_SUCCESS)
            return {Verdict::Unavailable, QStringLiteral("StartTLS: %1").arg(said(rc))};
    }

    QByteArray dn;
    if (!m_settings.bindDnPattern.isEmpty()) {
        dn = QString(m_settings.bindDnPattern).replace(QStringLiteral("%s"), escapeDn(name)).toUtf8();
    } else {
        if (!m_settings.serviceDn.isEmpty()) {
            if (const int rc = simpleBind(raw, m_settings.serviceDn.toUtf8(), m_settings.servicePassword); rc != LDAP_SUCCESS)
                return {Verdict::Unavailable, QStringLiteral("conta de serviço %1: %2").arg(m_settings.serviceDn, said(rc))};
        }
        const QByteArray filter = QString(m_settings.filter).replace(QStringLiteral("%s"), escapeFilter(name)).toUtf8();
        char noAttributes[] = LDAP_NO_ATTRS;
        char* attributes[] = {noAttributes, nullptr};
        LDAPMessage* found = nullptr;
        const int rc = ldap_search_ext_s(raw, m_settings.base.toUtf8().constData(), LDAP_SCOPE_SUBTREE, filter.constData(),
                                         attributes, 0, nullptr, nullptr, &timeout, 2, &found);
        const std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> answer(found, ldap_msgfree);
        if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED)
            // No base is a set-up that finds nobody; anything else, a directory that could not search.
            return {rc == LDAP_NO_SUCH_OBJECT ? Verdict::Refused : Verdict::Unavailable,
                    QStringLiteral("busca: %1").arg(said(rc))};
        const int entries = ldap_count_entries(raw, found);
        if (entries != 1)
            return {Verdict::Refused, entries == 0 ? QStringLiteral("usuário não encontrado")
                                                   : QStringLiteral("o filtro acha mais de um usuário")};
        char* text = ldap_get_dn(raw, ldap_first_entry(raw, found));
        dn = text;
        ldap_memfree(text);
    }

    if (const int rc = simpleBind(raw, dn, password); rc != LDAP_SUCCESS)
        return {rc == LDAP_INVALID_CREDENTIALS || rc == LDAP_INVALID_DN_SYNTAX || rc == LDAP_UNWILLING_TO_PERFORM
                    ? Verdict::Refused
                    : Verdict::Unavailable,
                QStringLiteral("bind: %1").arg(said(rc))};
    if (m_settings.group.isEmpty())
        return {Verdict::Granted, {}};
    // Read as the service where there is one: a user may not be allowed to read the group.
    if (!m_settings.serviceDn.isEmpty()) {
        if (const int rc = simpleBind(raw, m_settings.serviceDn.toUtf8(), m_settings.servicePassword); rc != LDAP_SUCCESS)
            return {Verdict::Unavailable, QStringLiteral("conta de serviço %1: %2").arg(m_settings.serviceDn, said(rc))};
    }
    berval member{static_cast<ber_len_t>(dn.size()), dn.data()};
    const int rc = ldap_compare_ext_s(raw, m_settings.group.toUtf8().constData(), "member", &member, nullptr, nullptr);
    if (rc == LDAP_COMPARE_TRUE)
        return {Verdict::Granted, {}};
    if (rc == LDAP_COMPARE_FALSE || rc == LDAP_NO_SUCH_ATTRIBUTE)
        return {Verdict::NotMember, QStringLiteral("fora do grupo %1").arg(m_settings.group)};
    return {isOutage(rc) ? Verdict::Unavailable : Verdict::NotMember, QStringLiteral("grupo %1: %2").arg(m_settings.group, said(rc))};
}

} // namespace appserver
