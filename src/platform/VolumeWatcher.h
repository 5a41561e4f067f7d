#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace quindle::platform {

// Announces every file system that appears or disappears, whatever it is.
class VolumeWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void volumeMounted(const QString &mountPoint);
    void volumeUnmounted(const QString &mountPoint);
};

// Watches /proc/self/mountinfo: the kernel flags it on every mount-table change, and the
// difference between two readings names the mount points.
class MountTableWatcher : public VolumeWatcher {
    Q_OBJECT
public:
    explicit MountTableWatcher(QObject *parent = nullptr);
    ~MountTableWatcher() override;

    // The mount points of a mountinfo text, with the kernel's octal escapes decoded.
    static QSet<QString> mountPoints(const QByteArray &mountInfo);

private:
    void reread();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QSet<QString> m_known;
};

} // namespace quindle::platform
