#include "app/CommandLine.h"
#include "app/WaitFor.h"

#include "core/AtomicFile.h"
#include "updates/ManifestFetcher.h"
#include "updates/ManifestSignature.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace quindle {

namespace {

int manifestUsage(QTextStream &err) {
    err << "Usage: quindle manifest check\n"
           "       quindle manifest sign --key-file KEY-FILE MANIFEST-FILE\n";
    return 2;
}

// One fetch, as the launch makes it.
int check(QTextStream &out, QTextStream &err) {
    ManifestFetcher fetcher;
    waitFor(fetcher.refresh());
    if (!fetcher.hasFreshManifest()) {
        err << fetcher.lastError().value_or(QStringLiteral("Manifest fetch failed.")) << '\n';
        return 1;
    }
    out << "manifest version: " << fetcher.manifest()->version << '\n'
        << "update available: " << (fetcher.updateAvailable() ? "yes" : "no") << '\n';
    return 0;
}

// Prints the manifest with its signature added. Only a document Quindle would accept is signed.
int sign(const QString &keyFile, const QString &manifestFile, QTextStream &out, QTextStream &err) {
    std::optional<QByteArray> key = readWholeFile(keyFile);
    if (key && key->endsWith('\n'))
        key->chop(1);
    if (!key || key->isEmpty()) {
        err << "The key file " << keyFile << " is missing, unreadable or empty.\n";
        return 1;
    }
    const std::optional<QByteArray> body = readWholeFile(manifestFile);
    if (!body) {
        err << "The manifest " << manifestFile << " is missing or unreadable.\n";
        return 1;
    }
    if (const auto decoded = ManifestV2::decode(*body); std::holds_alternative<QString>(decoded)) {
        err << "Couldn't parse manifest: " << std::get<QString>(decoded) << '\n';
        return 1;
    }
    QJsonObject document = QJsonDocument::fromJson(*body).object();
    document.insert(QStringLiteral("signature"), manifestSignature(document, *key));
    out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    return 0;
}

} // namespace

// quindle manifest check | quindle manifest sign --key-file KEY-FILE MANIFEST-FILE
int runManifest(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("check") && arguments.size() == 1)
        return check(out, err);
    if (verb == QLatin1String("sign") && arguments.size() == 4 &&
        arguments.at(1) == QLatin1String("--key-file"))
        return sign(arguments.at(2), arguments.at(3), out, err);
    return manifestUsage(err);
}

} // namespace quindle
