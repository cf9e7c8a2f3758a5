#include "remotedatamodule.h"

namespace appserver {

const RemoteDataModule::Method* RemoteDataModule::findMethod(const QString& name) const
{
    const auto it = m_methods.constFind(name.toLower());
    return it == m_methods.cend() ? nullptr : &it.value();
}

void RemoteDataModule::registerMethod(const QString& name, Method method)
{
    m_methods.insert(name.toLower(), std::move(method));
}

} // namespace appserver
