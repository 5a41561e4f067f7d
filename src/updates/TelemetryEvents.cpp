#include "updates/TelemetryEvents.h"

#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace quindle {

namespace {

using ValueCheck = std::function<bool(const QString &)>;

ValueCheck oneOf(QStringList values) {
    return [values = std::move(values)](const QString &value) { return values.contains(value); };
}

bool isVersion(const QString &value) {
    static const QRegularExpression version(QStringLiteral(R"(^[0-9]+(\.[0-9]+){0,3}$)"));
    return version.match(value).hasMatch();
}

const QMap<QString, QMap<QString, ValueCheck>> &catalogue() {
    static const QMap<QString, QMap<QString, ValueCheck>> events{
        {QStringLiteral("app_launched"),
         {{QStringLiteral("version"), isVersion},
          {QStringLiteral("desktop"), oneOf({"kde", "gnome", "xfce", "other"})},
          {QStringLiteral("tray"), oneOf({"yes", "no"})}}},
        {QStringLiteral("transfer_finished"),
         {{QStringLiteral("mode"), oneOf({"copy", "move", "sync_one_way", "bisync"})},
          {QStringLiteral("state"), oneOf({"completed", "failed", "canceled"})},
          // Account kinds by their type name; never a path, host or account name.
          {QStringLiteral("remote_type"),
           oneOf({"local", "drive", "dropbox", "onedrive", "box", "pcloud", "mega", "googlephotos",
                  "s3", "b2", "azureblob", "swift", "sftp", "ftp", "smb", "webdav"})}}},
        {QStringLiteral("feedback_sent"),
         {{QStringLiteral("category"),
           oneOf({"bug", "suggestion", "question", "praise", "other"})}}},
    };
    return events;
}

} // namespace

bool isCataloguedEvent(const QString &name, const EventProperties &properties) {
    const auto event = catalogue().constFind(name);
    if (event == catalogue().cend() || properties.size() != event->size())
        return false;
    for (auto property = properties.cbegin(); property != properties.cend(); ++property) {
        const auto check = event->constFind(property.key());
        if (check == event->cend() || !(*check)(property.value()))
            return false;
    }
    return true;
}

QString desktopFamily(const QString &currentDesktop) {
    const QStringList words = currentDesktop.toLower().split(QLatin1Char(':'));
    for (const char *family : {"kde", "gnome", "xfce"})
        if (words.contains(QLatin1String(family)))
            return QLatin1String(family);
    return QStringLiteral("other");
}

} // namespace quindle
