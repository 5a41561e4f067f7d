#include "platform/VolumeWatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

QByteArray readFromStart(int fd) {
    QByteArray text;
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return text;
    char buffer[16384];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    return text;
}

QString unescape(const QByteArray &field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

} // namespace

MountTableWatcher::MountTableWatcher(QObject *parent)
    : VolumeWatcher(parent) {
    m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return; // no mount table to watch: events simply never come
    m_known = mountPoints(readFromStart(m_fd));
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { reread(); });
}

MountTableWatcher::~MountTableWatcher() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

QSet<QString> MountTableWatcher::mountPoints(const QByteArray &mountInfo) {
    QSet<QString> points;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points.insert(unescape(fields.at(4)));
    }
    return points;
}

void MountTableWatcher::reread() {
    const QSet<QString> now = mountPoints(readFromStart(m_fd));
    const QSet<QString> gone = m_known - now;
    const QSet<QString> added = now - m_known;
    m_known = now;
    for (const QString &point : gone)
        Q_EMIT volumeUnmounted(point);
    for (const QString &point : added)
        Q_EMIT volumeMounted(point);
}

} // namespace quindle::platform
