#include "app/CommandLine.h"

#include "app/CommandOutput.h"
#include "platform/TerminationSignals.h"
#include "transfers/AccountForm.h"
#include "transfers/CredentialSaver.h"
#include "transfers/RcloneAuth.h"
#include "transfers/RcloneClient.h"
#include "transfers/RemoteCaps.h"
#include "transfers/RemoteManager.h"
#include "transfers/S3Provider.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace quindle {

namespace {

int remotesUsage() {
    QTextStream(stderr)
        << "Usage: quindle remotes [--json]\n"
           "       quindle remotes types\n"
           "       quindle remotes add sftp --name N --host H [--port P] --user U\n"
           "                               (--password-stdin | --key-file F [--passphrase-stdin])\n"
           "       quindle remotes add ftp --name N --host H [--port P] --user U --password-stdin\n"
           "                               --accept-plaintext\n"
           "       quindle remotes add s3 --name N --provider P --access-key-id K --secret-stdin\n"
           "                               [--region R] [--endpoint E] "
           "[--path-style|--no-path-style]\n"
           "       quindle remotes add drive|googlephotos --name N [--client-id ID "
           "--client-secret S]\n"
           "       quindle remotes test NAME\n"
           "       quindle remotes remove NAME --yes\n"
           "       quindle remotes browse NAME:[PATH]\n"
           "P is AWS, Cloudflare, B2, Wasabi, DigitalOcean, Minio or Other.\n";
    return 2;
}

std::optional<QList<Remote>> readRemotes() {
    std::optional<QList<Remote>> remotes = RemoteManager::readRemotes();
    if (!remotes)
        QTextStream(stderr) << "The rclone accounts could not be read.\n";
    return remotes;
}

std::optional<QString> unknownRemote(const QList<Remote> &remotes, const QString &name) {
    if (std::any_of(remotes.cbegin(), remotes.cend(),
                    [&](const Remote &remote) { return remote.name == name; }))
        return std::nullopt;
    return QStringLiteral("No rclone remote is named “%1”.").arg(name);
}

// `--flag value` and bare `--flag` options; nothing when one is unknown or lacks its value.
std::optional<QHash<QString, QString>>
parseOptions(const QStringList &arguments, const QStringList &withValue, const QStringList &bare) {
    QHash<QString, QString> options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if (bare.contains(option)) {
            options.insert(option, QString());
        } else if (withValue.contains(option) && i + 1 < arguments.size()) {
            options.insert(option, arguments.at(++i));
        } else {
            return std::nullopt;
        }
    }
    return options;
}

int listRemotes(bool json) {
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    QTextStream out(stdout);
    if (json) {
        QJsonArray array;
        for (const Remote &remote : *remotes)
            array.append(QJsonObject{{QStringLiteral("name"), remote.name},
                                     {QStringLiteral("type"), remote.type}});
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (remotes->isEmpty())
        out << "No accounts yet.\n";
    for (const Remote &remote : *remotes)
        out << remote.rootPath().leftJustified(24) << ' ' << remoteTypeDisplayName(remote.type)
            << '\n';
    return 0;
}

int types() {
    const std::optional<QList<RemoteType>> kinds = RemoteManager::readTypes();
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!kinds || !remotes)
        return 1;
    QTextStream out(stdout);
    if (kinds->isEmpty())
        out << RcloneClient::notInstalledText() << '\n';
    for (const RemoteType &kind : *kinds) {
        out << kind.id.leftJustified(14) << ' ' << kind.name;
        if (kind.oauth)
            out << " (browser sign-in)";
        if (const QString badge = RemoteCaps::usageBadge(*remotes, kind.id); !badge.isEmpty())
            out << ", " << badge << " used";
        out << '\n';
    }
    return 0;
}

std::optional<int> s3ProviderIndex(const QString &name) {
    const QList<S3Provider> &providers = S3Provider::all();
    if (name.compare(QLatin1String("B2"), Qt::CaseInsensitive) == 0)
        return 2;
    // "Other" names two rows; on its own it means the custom endpoint, the last one.
    for (qsizetype i = providers.size() - 1; i >= 0; --i)
        if (providers.at(i).provider.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return std::nullopt;
}

// Fills the form from the options of `add TYPE`; the refusal when they do not fit.
std::optional<QString> fillForm(AccountForm &form, const QHash<QString, QString> &options) {
    form.nickname = options.value(QStringLiteral("--name"));
    if (form.type == QLatin1String("s3")) {
        const std::optional<int> provider =
            s3ProviderIndex(options.value(QStringLiteral("--provider")));
        if (!provider)
            return QStringLiteral("“%1” is not an S3 provider: use AWS, Cloudflare, B2, Wasabi, "
                                  "DigitalOcean, Minio or Other.")
                .arg(options.value(QStringLiteral("--provider")));
        form.chooseProvider(*provider);
        form.accessKeyId = options.value(QStringLiteral("--access-key-id"));
        if (options.contains(QStringLiteral("--region")))
            form.region = options.value(QStringLiteral("--region"));
        form.endpoint = options.value(QStringLiteral("--endpoint"));
        if (options.contains(QStringLiteral("--path-style")))
            form.pathStyle = true;
        if (options.contains(QStringLiteral("--no-path-style")))
            form.pathStyle = false;
        form.secretAccessKey = pipedSecret();
        return std::nullopt;
    }
    form.host = options.value(QStringLiteral("--host"));
    form.port = options.value(QStringLiteral("--port"));
    form.user = options.value(QStringLiteral("--user"));
    form.acceptPlaintext = options.contains(QStringLiteral("--accept-plaintext"));
    if (options.contains(QStringLiteral("--key-file"))) {
        form.authMethod = SftpAuthMethod::PrivateKey;
        form.keyFile = options.value(QStringLiteral("--key-file"));
        if (options.contains(QStringLiteral("--passphrase-stdin")))
            form.keyPassphrase = pipedSecret();
    } else {
        form.password = pipedSecret();
    }
    return std::nullopt;
}

int addWithForm(const QString &type, const QStringList &arguments) {
    std::optional<QHash<QString, QString>> options;
    if (type == QLatin1String("s3"))
        options = parseOptions(arguments,
                               {QStringLiteral("--name"), QStringLiteral("--provider"),
                                QStringLiteral("--access-key-id"), QStringLiteral("--region"),
                                QStringLiteral("--endpoint")},
                               {QStringLiteral("--secret-stdin"), QStringLiteral("--path-style"),
                                QStringLiteral("--no-path-style")});
    else
        options = parseOptions(
            arguments,
            {QStringLiteral("--name"), QStringLiteral("--host"), QStringLiteral("--port"),
             QStringLiteral("--user"), QStringLiteral("--key-file")},
            type == QLatin1String("ftp") ? QStringList{QStringLiteral("--password-stdin"),
                                                       QStringLiteral("--accept-plaintext")}
                                         : QStringList{QStringLiteral("--password-stdin"),
                                                       QStringLiteral("--passphrase-stdin")});
    if (!options)
        return remotesUsage();
    // Exactly one way to give the secret.
    const auto given = [&](const char *flag) { return options->contains(QLatin1String(flag)); };
    const bool secretOk = type == QLatin1String("s3")
                              ? given("--secret-stdin")
                              : given("--password-stdin") != given("--key-file") &&
                                    !(given("--passphrase-stdin") && !given("--key-file"));
    if (!given("--name") || !secretOk)
        return remotesUsage();

    AccountForm form = AccountForm::forType(type);
    if (std::optional<QString> refusal = fillForm(form, *options))
        return refused(*refusal);
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    if (std::optional<QString> problem = form.problem(*remotes))
        return refused(*problem);
    if (std::optional<QString> failure = CredentialSaver::saveBlocking(form.request()))
        return failed(*failure);
    QTextStream(stdout) << "Added the account " << form.nickname.trimmed() << ".\n";
    return 0;
}

int signIn(const QString &type, const QStringList &arguments) {
    const std::optional<QHash<QString, QString>> options =
        parseOptions(arguments,
                     {QStringLiteral("--name"), QStringLiteral("--client-id"),
                      QStringLiteral("--client-secret")},
                     {});
    if (!options || !options->contains(QStringLiteral("--name")))
        return remotesUsage();
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    const QString nickname = options->value(QStringLiteral("--name")).trimmed();
    if (std::optional<QString> problem = nicknameProblem(nickname, *remotes))
        return refused(*problem);
    if (RemoteCaps::limitReached(*remotes, type))
        return refused(RemoteCaps::limitReachedText(type));

    QTextStream out(stdout);
    RcloneAuth auth;
    auth.setOpener([&out](const QUrl &url) {
        out << "Open this address in your browser to sign in:\n  " << url.toString() << '\n';
        out.flush();
    });
    QEventLoop loop;
    QObject::connect(&auth, &RcloneAuth::stepChanged, &loop, [&] {
        const RcloneAuth::Step step = auth.step();
        if (step == RcloneAuth::Step::Done || step == RcloneAuth::Step::Failed ||
            step == RcloneAuth::Step::Canceled)
            loop.quit();
    });
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::received, &auth,
                     &RcloneAuth::cancel);
    auth.start(nickname, type, options->value(QStringLiteral("--client-id")),
               options->value(QStringLiteral("--client-secret")));
    if (auth.step() == RcloneAuth::Step::Starting ||
        auth.step() == RcloneAuth::Step::AwaitingBrowser)
        loop.exec();
    switch (auth.step()) {
    case RcloneAuth::Step::Done:
        out << "Added the account " << nickname << ".\n";
        return 0;
    case RcloneAuth::Step::Canceled:
        return failed(auth.detail());
    default:
        return failed(auth.message());
    }
}

int addRemote(const QStringList &arguments) {
    const QString type = arguments.value(0);
    if (type == QLatin1String("sftp") || type == QLatin1String("ftp") ||
        type == QLatin1String("s3"))
        return addWithForm(type, arguments.mid(1));
    if (type == QLatin1String("drive") || type == QLatin1String("googlephotos"))
        return signIn(type, arguments.mid(1));
    return remotesUsage();
}

int test(const QString &name) {
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    if (std::optional<QString> unknown = unknownRemote(*remotes, name))
        return refused(*unknown);
    const RemoteTestResult result = RemoteManager::testBlocking(name);
    if (!result.ok)
        return failed(result.message);
    QTextStream(stdout) << result.message << '\n';
    return 0;
}

int remove(const QString &name) {
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    if (std::optional<QString> unknown = unknownRemote(*remotes, name))
        return refused(*unknown);
    if (std::optional<QString> failure = RemoteManager::removeBlocking(name))
        return failed(*failure);
    QTextStream(stdout) << "Removed the account " << name << ".\n";
    return 0;
}

int browse(const QString &target) {
    const qsizetype colon = target.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return remotesUsage();
    const QString name = target.left(colon);
    const std::optional<QList<Remote>> remotes = readRemotes();
    if (!remotes)
        return 1;
    if (std::optional<QString> unknown = unknownRemote(*remotes, name))
        return refused(*unknown);
    if (RcloneClient::locate().isEmpty())
        return failed(RcloneClient::notInstalledText());
    const FolderListing listing = RemoteManager::listFoldersBlocking(name, target.mid(colon + 1));
    if (listing.error)
        return failed(QStringLiteral("Could not list folders: ") + *listing.error);
    QTextStream out(stdout);
    for (const QString &folder : listing.folders)
        out << folder << '\n';
    return 0;
}

} // namespace

int runRemotes(const QStringList &arguments) {
    if (arguments.isEmpty() || arguments == QStringList{QStringLiteral("--json")})
        return listRemotes(!arguments.isEmpty());
    const QString verb = arguments.first();
    if (verb == QLatin1String("types") && arguments.size() == 1)
        return types();
    if (verb == QLatin1String("add"))
        return addRemote(arguments.mid(1));
    if (verb == QLatin1String("test") && arguments.size() == 2)
        return test(arguments.at(1));
    if (verb == QLatin1String("remove") && arguments.size() == 3 &&
        arguments.at(2) == QLatin1String("--yes"))
        return remove(arguments.at(1));
    if (verb == QLatin1String("browse") && arguments.size() == 2)
        return browse(arguments.at(1));
    return remotesUsage();
}

} // namespace quindle
