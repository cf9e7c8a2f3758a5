#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// One message: a plain-text body in UTF-8 and, optionally, one attachment.
struct MailMessage {
    QStringList to;
    QString subject;
    QString body;
    QString attachmentName;    ///< empty: no attachment
    QByteArray attachment;
    QByteArray attachmentType = "application/pdf";
};
