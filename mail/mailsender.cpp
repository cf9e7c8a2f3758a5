#include "mailsender.h"

#include <QDateTime>
#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// curl_global_init is not thread-safe in this libcurl: once, whoever sends first.
void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Handles {
    CURL* curl = nullptr;
    curl_slist* recipients = nullptr;
    curl_slist* headers = nullptr;
    curl_mime* mime = nullptr;
    ~Handles()
    {
        curl_mime_free(mime);
        curl_slist_free_all(headers);
        curl_slist_free_all(recipients);
        if (curl)
            curl_easy_cleanup(curl);
    }
};

QString addresses(const QStringList& to) { return to.join(QStringLiteral(", ")); }

MailSender::Result failure(CURLcode code, long response, const MailRelay& relay, const char* detail)
{
    MailSender::Result r;
    const QString host = relay.url;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        r.retryable = true;
        r.error = QStringLiteral("o servidor de e-mail %1 não atende").arg(host);
        break;
    case CURLE_OPERATION_TIMEDOUT:
        r.retryable = true;
        r.error = QStringLiteral("o servidor de e-mail %1 não respondeu em %2 s").arg(host).arg(relay.timeout.count());
        break;
    case CURLE_LOGIN_DENIED:
        r.error = QStringLiteral("o servidor de e-mail %1 recusou o usuário ou a senha").arg(host);
        break;
    case CURLE_USE_SSL_FAILED:
        r.error = QStringLiteral("o servidor de e-mail %1 não oferece STARTTLS; sem conexão cifrada nada é enviado").arg(host);
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        r.error = QStringLiteral("o certificado do servidor de e-mail %1 não foi reconhecido (veja relay/ca)").arg(host);
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        r.retryable = true;
        r.error = QStringLiteral("envio para %1 interrompido").arg(host);
        break;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        r.error = QStringLiteral("endereço do servidor de e-mail inválido: %1").arg(host);
        break;
    default:
        // A reply in the 400s is the relay's "try later"; one in the 500s is a refusal that stays.
        r.retryable = response < 500;
        r.error = response > 0 ? QStringLiteral("o servidor de e-mail %1 respondeu %2 (%3)").arg(host).arg(response).arg(QString::fromUtf8(detail))
                               : QStringLiteral("a conversa com o servidor de e-mail %1 falhou (%2)").arg(host, QString::fromUtf8(detail));
    }
    return r;
}

} // namespace

QByteArray MailSender::encodedHeader(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
    if (ascii)
        return utf8;
    // RFC 2047 words of whole characters, each short enough for a header line.
    QByteArray out;
    QString chunk;
    const auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toUtf8().toBase64() + "?=";
        chunk.clear();
    };
    for (const QChar c : text) {
        if (c.isLowSurrogate() || (chunk + c).toUtf8().size() <= 45)
            chunk += c;
        else {
            flush();
            chunk = c;
        }
    }
    flush();
    return out;
}

MailSender::Result MailSender::sendOnce(const MailRelay& relay, const MailMessage& message, const std::function<bool()>& stop)
{
    Result result;
    QByteArray password;
    if (!relay.readPassword(&password, &result.error))
        return result;
    if (message.to.isEmpty()) {
        result.error = QStringLiteral("a mensagem não tem destinatários");
        return result;
    }
    initCurl();
    Handles h;
    h.curl = curl_easy_init();
    if (!h.curl) {
        result.error = QStringLiteral("não foi possível preparar o envio de e-mail");
        result.retryable = true;
        return result;
    }
    CURL* c = h.curl;
    char detail[CURL_ERROR_SIZE] = {};
    const QByteArray url = relay.url.toUtf8();
    const QByteArray from = "<" + relay.from.toUtf8() + ">";
    const QByteArray user = relay.user.toUtf8();
    const QByteArray ca = relay.caFile.toUtf8();
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(relay.timeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(relay.timeout.count()));
    // On this machine's own relay the message never crosses a network; anywhere else it goes encrypted or not at all.
    curl_easy_setopt(c, CURLOPT_USE_SSL, relay.loopback() ? long(CURLUSESSL_TRY) : long(CURLUSESSL_ALL));
    if (!ca.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, ca.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    for (const QString& to : message.to)
        h.recipients = curl_slist_append(h.recipients, ("<" + to.trimmed().toUtf8() + ">").constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, h.recipients);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray date = QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")).toLatin1() + " +0000";
    const QByteArray domain = relay.from.section(QLatin1Char('@'), 1).toUtf8();
    for (const QByteArray& line : {"Date: " + date, "From: " + relay.from.toUtf8(), "To: " + addresses(message.to).toUtf8(),
                                   "Subject: " + encodedHeader(message.subject),
                                   "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@" + domain + ">"})
        h.headers = curl_slist_append(h.headers, line.constData());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, h.headers);

    h.mime = curl_mime_init(c);
    // Lines end in CR LF, as mail has them: quoted-printable then keeps them as line breaks.
    const QByteArray body = message.body.toUtf8().replace("\r\n", "\n").replace("\n", "\r\n");
    curl_mimepart* text = curl_mime_addpart(h.mime);
    curl_mime_data(text, body.constData(), size_t(body.size()));
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");
    if (!message.attachmentName.isEmpty()) {
        curl_mimepart* file = curl_mime_addpart(h.mime);
        curl_mime_data(file, message.attachment.constData(), size_t(message.attachment.size()));
        curl_mime_filename(file, message.attachmentName.toUtf8().constData());
        curl_mime_type(file, message.attachmentType.constData());
        curl_mime_encoder(file, "base64");
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, h.mime);
    // A server that stops must not wait for a relay that answers slowly.
    if (stop) {
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &stop);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, +[](void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
            return (*static_cast<const std::function<bool()>*>(data))() ? 1 : 0;
        });
    }
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);

    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK) {
        result.sent = true;
        return result;
    }
    long response = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response);
    return failure(code, response, relay, detail[0] ? detail : curl_easy_strerror(code));
}

MailSender::Result MailSender::send(const MailRelay& relay, const MailMessage& message,
                                    const std::function<void(const QString&)>& log, const std::function<bool()>& stop)
{
    const auto until = std::chrono::steady_clock::now() + relay.retryFor;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(relay.firstRetry);
    for (int attempt = 1;; ++attempt) {
        Result r = sendOnce(relay, message, stop);
        if (r.sent || !r.retryable)
            return r;
        if (stop && stop()) {
            r.error = QStringLiteral("%1; envio interrompido").arg(r.error);
            return r;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now + wait > until) {
            r.error = QStringLiteral("%1; desistindo após %2 tentativas").arg(r.error).arg(attempt);
            return r;
        }
        if (log)
            log(QStringLiteral("%1; nova tentativa em %2 s").arg(r.error).arg(double(wait.count()) / 1000.0));
        // Waits in small steps so that a stopping server is not held up by a relay that is away.
        for (auto end = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < end;) {
            if (stop && stop()) {
                r.error = QStringLiteral("%1; envio interrompido").arg(r.error);
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        wait = std::min(wait * 2, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::minutes(1)));
    }
}
