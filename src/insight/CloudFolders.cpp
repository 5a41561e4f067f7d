#include "insight/CloudFolders.h"

#include "core/BackgroundPool.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/WhenFinished.h"

#include <QtConcurrent>

namespace quindle {

QList<CloudRoot> CloudRoot::parseList(const QString &output) {
    QList<CloudRoot> roots;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 2)
            roots.append({fields.at(0), fields.at(1)});
    }
    return roots;
}

CloudRoots::CloudRoots(QObject *parent)
    : QObject(parent) {}

void CloudRoots::refresh() {
    if (m_refreshing)
        return;
    m_refreshing = true;
    whenFinished(
        ServiceBridge::runProcess(service::program(), service::arguments(service::listCloudRoots),
                                  service::subCommandTimeout),
        this, [this](const ProcessOutput &result) {
            m_refreshing = false;
            publish(result.status == 0 ? CloudRoot::parseList(result.output) : QList<CloudRoot>());
        });
}

void CloudRoots::refreshBlocking() {
    const ProcessOutput result = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::listCloudRoots),
        service::subCommandTimeout);
    publish(result.status == 0 ? CloudRoot::parseList(result.output) : QList<CloudRoot>());
}

void CloudRoots::publish(const QList<CloudRoot> &roots) {
    m_roots = roots;
    m_lastRefresh = QDateTime::currentDateTimeUtc();
    Q_EMIT changed();
}

QStringList CloudRoots::providers() const {
    QStringList labels;
    for (const CloudRoot &root : m_roots)
        if (!labels.contains(root.label))
            labels << root.label;
    labels.sort();
    return labels;
}

CloudUsageProbe::CloudUsageProbe(QObject *parent)
    : QObject(parent) {}

std::optional<qint64> CloudUsageProbe::measure(const QString &path) {
    const ProcessOutput result = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::cloudUsage, {path}),
        service::subCommandTimeout);
    if (result.status != 0)
        return std::nullopt;
    const QString figure = result.output.section(QLatin1Char('\t'), 0, 0).trimmed();
    bool ok = false;
    const qint64 kib = figure.toLongLong(&ok);
    return ok && kib >= 0 ? std::optional(kib * 1024) : std::nullopt;
}

void CloudUsageProbe::refresh(const QStringList &paths) {
    if (m_refreshing)
        return;
    m_refreshing = true;
    Q_EMIT changed();
    whenFinished(QtConcurrent::run(blockingPool(),
                                   [paths] {
                                       QHash<QString, qint64> sizes;
                                       for (const QString &path : paths)
                                           if (const auto bytes = measure(path))
                                               sizes.insert(path, *bytes);
                                       return sizes;
                                   }),
                 this, [this](const QHash<QString, qint64> &sizes) {
                     m_sizes = sizes;
                     m_refreshing = false;
                     m_lastRefresh = QDateTime::currentDateTimeUtc();
                     Q_EMIT changed();
                 });
}

} // namespace quindle
