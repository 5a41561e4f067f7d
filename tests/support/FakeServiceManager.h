#pragma once

#include "platform/UserService.h"

#include <QFile>

#include <atomic>

namespace quindle::test {

// Counts what the code under test asks of the service manager; loaded once `loadedFrom`
// questions have been asked (never while it is negative).
class FakeServiceManager : public platform::ServiceManager {
public:
    explicit FakeServiceManager(QString file)
        : m_file(std::move(file)) {}

    std::atomic<int> installs{0};
    std::atomic<int> loads{0};
    std::atomic<int> unloads{0};
    std::atomic<int> questions{0};
    std::atomic<int> loadedFrom{-1};
    platform::CommandResult loadResult{0, {}};
    platform::CommandResult unloadResult{0, {}};

    platform::ServiceManagerKind kind() const override {
        return platform::ServiceManagerKind::Detached;
    }
    QString definitionFile() const override { return m_file; }
    std::optional<QString> install(const platform::ServiceDefinition &) override {
        ++installs;
        return std::nullopt;
    }
    platform::CommandResult load(const platform::ServiceDefinition &) override {
        ++loads;
        return loadResult;
    }
    platform::CommandResult unload() override {
        ++unloads;
        return unloadResult;
    }
    bool isLoaded() override {
        const int asked = ++questions;
        return loadedFrom >= 0 && asked >= loadedFrom;
    }
    void retire(const QString &) override {}
    std::optional<QString> remove() override {
        ++unloads;
        QFile::remove(m_file);
        return std::nullopt;
    }
    QString writtenNoun() const override { return QStringLiteral("Fake definition"); }
    QString loadedNoun() const override { return QStringLiteral("Fake service"); }
    QString controlProgram() const override { return QStringLiteral("fakectl"); }

private:
    QString m_file;
};

} // namespace quindle::test
