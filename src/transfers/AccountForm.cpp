#include "transfers/AccountForm.h"

#include "transfers/PasswordEvaluator.h"
#include "transfers/RemoteCaps.h"
#include "transfers/S3Provider.h"

#include <QRegularExpression>

#include <algorithm>

namespace quindle {

namespace {

bool isS3(const QString &type) {
    return type == QLatin1String("s3");
}

const S3Provider &providerAt(int index) {
    const QList<S3Provider> &providers = S3Provider::all();
    return providers.at(std::clamp<qsizetype>(index, 0, providers.size() - 1));
}

QString defaultPort(const QString &type) {
    return type == QLatin1String("ftp") ? QStringLiteral("21") : QStringLiteral("22");
}

std::optional<QString> portProblem(const QString &port) {
    if (port.isEmpty())
        return std::nullopt;
    bool ok = false;
    const int number = port.toInt(&ok);
    if (ok && number >= 1 && number <= 65535)
        return std::nullopt;
    return QStringLiteral("Use a port from 1 to 65535.");
}

std::optional<QString> secretProblem(const QString &secret) {
    if (PasswordEvaluator::accepted(secret))
        return std::nullopt;
    return PasswordEvaluator::hint(PasswordEvaluator::score(secret));
}

} // namespace

std::optional<QString> nicknameProblem(const QString &nickname, const QList<Remote> &existing) {
    const QString name = nickname.trimmed();
    if (name.isEmpty())
        return QStringLiteral("Enter a nickname for the account.");
    static const QRegularExpression allowed(QStringLiteral(R"(^[A-Za-z0-9_.][A-Za-z0-9_. -]*$)"));
    if (!allowed.match(name).hasMatch())
        return QStringLiteral(
            "Use letters, digits, spaces, dots, dashes and underscores in the nickname.");
    if (std::any_of(existing.cbegin(), existing.cend(),
                    [&](const Remote &remote) { return remote.name == name; }))
        return QStringLiteral("An account named %1 already exists. Choose another nickname.")
            .arg(name);
    return std::nullopt;
}

AccountForm AccountForm::forType(const QString &type) {
    AccountForm form;
    form.type = type;
    form.chooseProvider(0);
    return form;
}

void AccountForm::chooseProvider(int index) {
    providerIndex = index;
    region = providerAt(index).defaultRegion;
    pathStyle = providerAt(index).pathStyleByDefault();
}

std::optional<QString> AccountForm::problem(const QList<Remote> &existing) const {
    if (std::optional<QString> nameProblem = nicknameProblem(nickname, existing))
        return nameProblem;
    if (RemoteCaps::limitReached(existing, type))
        return RemoteCaps::limitReachedText(type);
    if (isS3(type)) {
        if (accessKeyId.trimmed().isEmpty())
            return QStringLiteral("Enter the access key ID.");
        if (std::optional<QString> weak = secretProblem(secretAccessKey.trimmed()))
            return weak;
        if (providerAt(providerIndex).needsEndpoint && endpoint.trimmed().isEmpty())
            return QStringLiteral("Enter the endpoint of %1.")
                .arg(providerAt(providerIndex).displayName);
        return std::nullopt;
    }
    if (host.trimmed().isEmpty())
        return QStringLiteral("Enter the server's host name.");
    if (std::optional<QString> badPort = portProblem(port.trimmed()))
        return badPort;
    if (user.trimmed().isEmpty())
        return QStringLiteral("Enter the user name.");
    if (type == QLatin1String("sftp") && authMethod == SftpAuthMethod::PrivateKey) {
        if (keyFile.trimmed().isEmpty())
            return QStringLiteral("Choose a private key file.");
    } else if (std::optional<QString> weak = secretProblem(password.trimmed())) {
        return weak;
    }
    if (type == QLatin1String("ftp") && !acceptPlaintext)
        return QStringLiteral("Confirm that you understand the risks of FTP before adding it.");
    return std::nullopt;
}

AccountRequest AccountForm::request() const {
    AccountRequest request;
    request.nickname = nickname.trimmed();
    request.rcloneType = type;
    QList<RcloneOption> &options = request.rcloneOptions;
    const auto add = [&](const char *key, const QString &value) {
        options.append({QLatin1String(key), value.trimmed()});
    };
    if (isS3(type)) {
        const S3Provider &provider = providerAt(providerIndex);
        add("provider", provider.provider);
        add("access_key_id", accessKeyId);
        add("secret_access_key", secretAccessKey);
        if (!region.trimmed().isEmpty())
            add("region", region);
        if (!endpoint.trimmed().isEmpty())
            add("endpoint", endpoint);
        if (pathStyle)
            add("force_path_style", QStringLiteral("true"));
        request.vaultEntries = {{QStringLiteral("access_key_id"), accessKeyId.trimmed()},
                                {QStringLiteral("secret_access_key"), secretAccessKey.trimmed()}};
        request.displayName = provider.displayName;
        return request;
    }
    add("host", host);
    add("port", port.trimmed().isEmpty() ? defaultPort(type) : port);
    add("user", user);
    request.displayName = user.trimmed() + QLatin1Char('@') + host.trimmed();
    if (type == QLatin1String("sftp") && authMethod == SftpAuthMethod::PrivateKey) {
        add("key_file", keyFile);
        if (!keyPassphrase.trimmed().isEmpty())
            add("key_file_pass", keyPassphrase);
        request.vaultEntries = {{QStringLiteral("username"), user.trimmed()},
                                {QStringLiteral("key_file_passphrase"), keyPassphrase.trimmed()}};
        return request;
    }
    add("pass", password);
    request.vaultEntries = {{QStringLiteral("username"), user.trimmed()},
                            {QStringLiteral("password"), password.trimmed()}};
    if (type == QLatin1String("ftp"))
        request.acknowledgedWarnings = {QStringLiteral("ftp-plaintext")};
    return request;
}

QString AccountForm::ftpConsentText() {
    return QStringLiteral("I understand the risks and want to add this FTP account anyway.");
}

QString AccountForm::ftpWarningTitle() {
    return QStringLiteral("FTP is not encrypted");
}

QString AccountForm::ftpWarningText() {
    return QStringLiteral(
        "Your username, password, and the files you transfer all travel in cleartext. Anyone on "
        "the same network path — coffee-shop Wi-Fi, an ISP, a corporate proxy — can read them. We "
        "strongly recommend SFTP instead. Pick FTP only if your server doesn't offer SFTP and you "
        "trust the network.");
}

} // namespace quindle
