#include "moduleregistry.h"

namespace appserver {

void ModuleRegistry::add(std::unique_ptr<RemoteDataModule> module)
{
    const QString key = module->registeredName().toLower();
    m_modules[key] = std::move(module);
}

RemoteDataModule* ModuleRegistry::find(const QString& registeredName) const
{
    const auto it = m_modules.find(registeredName.toLower());
    return it == m_modules.end() ? nullptr : it->second.get();
}

} // namespace appserver
