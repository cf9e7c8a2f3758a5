#include "tappserver.h"

#include "tnetconnection.h"

QVariant TAppServer::Invoke(const QString& method, QVariantList& args) { return m_connection->Invoke(method, args); }
