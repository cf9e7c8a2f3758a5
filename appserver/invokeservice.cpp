#include "invokeservice.h"

#include "moduleregistry.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <exception>

namespace appserver {

namespace {

const char* codeName(grpc::StatusCode code)
{
    switch (code) {
    case grpc::StatusCode::OK: return "OK";
    case grpc::StatusCode::NOT_FOUND: return "NOT_FOUND";
    case grpc::StatusCode::INVALID_ARGUMENT: return "INVALID_ARGUMENT";
    case grpc::StatusCode::INTERNAL: return "INTERNAL";
    default: return "ERRO";
    }
}

QString printable(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s.left(200);
}

} // namespace

InvokeService::InvokeService(const ModuleRegistry& registry, std::FILE* log) : m_registry(registry), m_log(log) {}

grpc::Status InvokeService::Invoke(grpc::ServerContext*, const kpd::rpc::InvokeRequest* request,
                                   kpd::rpc::InvokeReply* reply)
{
    QElapsedTimer timer;
    timer.start();
    const QString moduleName = QString::fromStdString(request->server_name());
    const QString methodName = QString::fromStdString(request->method());
    QString detail = QStringLiteral("-");
    grpc::Status status;

    RemoteDataModule* module = m_registry.find(moduleName);
    const RemoteDataModule::Method* method = module ? module->findMethod(methodName) : nullptr;
    if (!module) {
        status = grpc::Status(grpc::StatusCode::NOT_FOUND,
                              QStringLiteral("O servidor de aplicação não tem o módulo remoto \"%1\".").arg(moduleName).toStdString());
    } else if (!method) {
        status = grpc::Status(grpc::StatusCode::NOT_FOUND,
                              QStringLiteral("O módulo remoto \"%1\" não tem o método \"%2\".")
                                  .arg(module->registeredName(), methodName)
                                  .toStdString());
    } else {
        *reply->mutable_args() = request->args();
        Invocation call{*reply, {}};
        try {
            status = (*method)(call);
        } catch (const std::exception& e) {
            status = grpc::Status(grpc::StatusCode::INTERNAL,
                                  QStringLiteral("Erro interno no servidor de aplicação: %1").arg(QString::fromUtf8(e.what())).toStdString());
        }
        if (!call.logDetail.isEmpty())
            detail = call.logDetail;
    }

    if (m_log) {
        QString outcome = QString::fromLatin1(codeName(status.error_code()));
        if (!status.ok())
            outcome += QStringLiteral(": ") + printable(status.error_message());
        else if (reply->result().kind_case() == kpd::rpc::Variant::kTextValue)
            outcome = QStringLiteral("FALHA: ") + printable(reply->result().text_value());
        const QString line = QStringLiteral("%1 %2 %3 ref=%4 %5 ms %6\n")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                      moduleName.isEmpty() ? QStringLiteral("\"\"") : moduleName,
                                      methodName.isEmpty() ? QStringLiteral("\"\"") : methodName, detail,
                                      QString::number(timer.elapsed()), outcome);
        const QByteArray bytes = line.toUtf8();
        std::lock_guard lock(m_logMutex);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_log);
        std::fflush(m_log);
    }
    if (!status.ok())
        reply->Clear();
    return status;
}

} // namespace appserver
