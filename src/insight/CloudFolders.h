#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// A cloud folder whose local copies can be dropped: an rclone mount of this user.
struct CloudRoot {
    QString label; // the mount's source; also the provider id the settings list
    QString path;  // the mount point
    const QString &id() const { return path; }
    bool operator==(const CloudRoot &) const = default;

    // list-cloud-roots' output: label TAB path per line; other lines are skipped.
    static QList<CloudRoot> parseList(const QString &output);
};

// The cloud folders the service finds.
class CloudRoots : public QObject {
    Q_OBJECT
public:
    explicit CloudRoots(QObject *parent = nullptr);

    void refresh();
    // The same on the calling thread, for the command line.
    void refreshBlocking();

    const QList<CloudRoot> &roots() const { return m_roots; }
    const std::optional<QDateTime> &lastRefresh() const { return m_lastRefresh; }
    QStringList providers() const;

Q_SIGNALS:
    void changed();

private:
    void publish(const QList<CloudRoot> &roots);

    QList<CloudRoot> m_roots;
    std::optional<QDateTime> m_lastRefresh;
    bool m_refreshing = false;
};

// How much of each cloud folder this computer keeps: the size of rclone's cached copies, never a
// walk of the mount, which would fetch the remote.
class CloudUsageProbe : public QObject {
    Q_OBJECT
public:
    explicit CloudUsageProbe(QObject *parent = nullptr);

    // Ignored while a refresh runs.
    void refresh(const QStringList &paths);
    // One folder's cached bytes on the calling thread; nothing when the service cannot tell.
    static std::optional<qint64> measure(const QString &path);

    const QHash<QString, qint64> &sizesByPath() const { return m_sizes; }
    const std::optional<QDateTime> &lastRefresh() const { return m_lastRefresh; }
    bool isRefreshing() const { return m_refreshing; }

Q_SIGNALS:
    void changed();

private:
    QHash<QString, qint64> m_sizes;
    std::optional<QDateTime> m_lastRefresh;
    bool m_refreshing = false;
};

} // namespace quindle
