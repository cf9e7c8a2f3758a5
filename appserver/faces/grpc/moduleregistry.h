#pragma once

#include "remotedatamodule.h"

#include <QString>

#include <map>
#include <memory>

namespace appserver {

/// The remote data modules a server hosts, by registered name (letter case ignored). Filled before
/// the server starts and read-only afterwards, so handler threads share it without locking.
class ModuleRegistry {
public:
    void add(std::unique_ptr<RemoteDataModule> module);
    RemoteDataModule* find(const QString& registeredName) const;

private:
    std::map<QString, std::unique_ptr<RemoteDataModule>> m_modules;   // keyed by lower-case name
};

} // namespace appserver
