#pragma once

#include "tdatetime.h"

#include <QString>
#include <QVariant>
#include <functional>

// Shows `text` as an error. With `abort` true it does not return: it ends the running event handler
// by raising EAbort, which the host's event boundary absorbs quietly.
void MensErro(const QString& text, bool abort);

// Checks the status a server call returned. Only an integer 0 is success; a text is the server's failure
// message, and anything else (another number, a boolean, nothing) is a failure too. A failure is reported as
// MensErro reports it and abandons the handler; otherwise the status comes back unchanged.
QVariant CheckResultServ(const QVariant& status, bool abort, int options);

// Portuguese name of the date's month ("Janeiro" ... "Dezembro").
QString NomeMes(TDateTime date);

// True when the text holds no entry: empty, or blanks only.
bool EmptyString(const QString& text);

// Address of the application server, asked of the host at every call.
QString WebURL();
int WebPort();

// The host tells where the server is. Without a provider the stored settings of the host are read.
void SetServerAddressProvider(std::function<QString()> host, std::function<int()> port);
