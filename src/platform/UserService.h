#pragma once

#include "platform/ChildProcess.h"
#include "platform/ServiceManagerKind.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quindle::platform {

constexpr std::chrono::seconds serviceControlTimeout{10};
constexpr std::chrono::seconds serviceQueryTimeout{5};

// What keeps the background service running, whichever manager runs it.
struct ServiceDefinition {
    QString program;
    QStringList arguments;
    QString logFile; // standard output and standard error are appended here
    QString searchPath;
    int restartSeconds = 30;
};

// PATH the service runs with.
QString serviceSearchPath();

// The per-user service facility. Every call blocks (it may start programs), so callers run it
// off the main thread; paths are built from the home folder at each call.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    virtual ServiceManagerKind kind() const = 0;
    // The file install() writes.
    virtual QString definitionFile() const = 0;
    // Writes the definition file; the reason when it could not be written.
    virtual std::optional<QString> install(const ServiceDefinition &definition) = 0;
    // Stops the service first (that result is ignored), then starts it.
    virtual CommandResult load(const ServiceDefinition &definition) = 0;
    virtual CommandResult unload() = 0;
    // An answer later than serviceQueryTimeout counts as not loaded.
    virtual bool isLoaded() = 0;
    // Stops and disables a predecessor's service given its definition file.
    virtual void retire(const QString &definitionFile) = 0;
    // Stops the service for good and deletes its definition file, so that nothing starts it
    // again; the reason when the file could not be deleted.
    virtual std::optional<QString> remove() = 0;

    // Nouns for the installer's texts: "<noun> written to <file>", "<noun> loaded; …",
    // "<program> could not load the service:".
    virtual QString writtenNoun() const = 0;
    virtual QString loadedNoun() const = 0;
    virtual QString controlProgram() const = 0;
};

std::unique_ptr<ServiceManager> makeServiceManager(ServiceManagerKind kind, CommandRunner runner);
// The kind detectServiceManager() finds.
std::unique_ptr<ServiceManager> userServiceManager(CommandRunner runner);

} // namespace quindle::platform
