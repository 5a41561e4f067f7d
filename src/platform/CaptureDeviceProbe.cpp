#include "platform/CaptureDeviceProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace quindle::platform {

namespace {

// Programs that hold a camera open while nobody films.
const QSet<QString> idleHolders{QStringLiteral("pipewire"), QStringLiteral("wireplumber"),
                                QStringLiteral("pipewire-media-session")};

QString processFolder(qint64 pid) {
    return QStringLiteral("/proc/%1").arg(pid);
}

bool belongsToUs(qint64 pid) {
    struct stat info {};
    return ::stat(QFile::encodeName(processFolder(pid)).constData(), &info) == 0 &&
           info.st_uid == ::getuid();
}

// Known to belong to someone else; a process that cannot be looked at is not.
bool belongsToSomeoneElse(qint64 pid) {
    struct stat info {};
    return ::stat(QFile::encodeName(processFolder(pid)).constData(), &info) == 0 &&
           info.st_uid != ::getuid();
}

QString programName(qint64 pid) {
    QFile comm(processFolder(pid) + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.readAll()).trimmed();
}

QStringList matching(const QString &pattern) {
    const QFileInfo info(pattern);
    QStringList found;
    const auto kinds = QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &name : QDir(info.path()).entryList({info.fileName()}, kinds))
        found << info.path() + QLatin1Char('/') + name;
    return found;
}

// Each process of ours that holds one of `devices` open, once per device.
void addCameraHolders(const QStringList &devices, QList<CaptureUse> &uses) {
    QSet<QByteArray> wanted;
    for (const QString &device : devices) {
        wanted.insert(QFile::encodeName(device));
        wanted.insert(QFile::encodeName(QFileInfo(device).canonicalFilePath()));
    }
    const qint64 self = ::getpid();
    std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return;
    while (const dirent *entry = ::readdir(proc.get())) {
        bool numeric = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&numeric);
        if (!numeric || pid == self || !belongsToUs(pid))
            continue;
        const QString program = programName(pid);
        if (idleHolders.contains(program))
            continue;
        const QByteArray fdFolder = QFile::encodeName(processFolder(pid) + QStringLiteral("/fd"));
        std::unique_ptr<DIR, int (*)(DIR *)> fds(::opendir(fdFolder.constData()), ::closedir);
        if (!fds)
            continue;
        QSet<QByteArray> seen;
        while (const dirent *fd = ::readdir(fds.get())) {
            if (fd->d_name[0] == '.')
                continue;
            char target[4096];
            const QByteArray link = fdFolder + '/' + fd->d_name;
            const ssize_t length = ::readlink(link.constData(), target, sizeof target);
            if (length <= 0)
                continue;
            const QByteArray device(target, length);
            if (wanted.contains(device) && !seen.contains(device)) {
                seen.insert(device);
                uses.append({CaptureUse::Kind::Camera, QFile::decodeName(device), pid, program});
            }
        }
    }
}

// A running capture stream's status file reads "state: RUNNING" and, on most kernels,
// "owner_pid   : <pid>".
void addRunningCaptures(const QString &asoundRoot, QList<CaptureUse> &uses) {
    const qint64 self = ::getpid();
    for (const QString &card : matching(asoundRoot + QStringLiteral("/card*"))) {
        for (const QString &stream : matching(card + QStringLiteral("/pcm*c"))) {
            for (const QString &sub : matching(stream + QStringLiteral("/sub*"))) {
                QFile status(sub + QStringLiteral("/status"));
                if (!status.open(QIODevice::ReadOnly))
                    continue;
                bool running = false;
                qint64 owner = 0;
                for (const QByteArray &line : status.readAll().split('\n')) {
                    const qsizetype colon = line.indexOf(':');
                    if (colon < 0)
                        continue;
                    const QByteArray key = line.left(colon).trimmed();
                    const QByteArray value = line.mid(colon + 1).trimmed();
                    if (key == "state")
                        running = value == "RUNNING";
                    else if (key == "owner_pid")
                        owner = value.toLongLong();
                }
                if (!running || owner == self || (owner > 0 && belongsToSomeoneElse(owner)))
                    continue;
                uses.append({CaptureUse::Kind::Microphone, status.fileName(), owner,
                             owner > 0 ? programName(owner) : QString()});
            }
        }
    }
}

} // namespace

CaptureDeviceProbe::CaptureDeviceProbe(QString videoDevicePattern, QString asoundRoot)
    : m_videoDevicePattern(std::move(videoDevicePattern))
    , m_asoundRoot(std::move(asoundRoot)) {}

QString CaptureDeviceProbe::videoDevicePattern() const {
    const QString overridden = qEnvironmentVariable("QUINDLE_VIDEO_DEVICES");
    return overridden.isEmpty() ? m_videoDevicePattern : overridden;
}

QString CaptureDeviceProbe::asoundRoot() const {
    const QString overridden = qEnvironmentVariable("QUINDLE_ASOUND_ROOT");
    return overridden.isEmpty() ? m_asoundRoot : overridden;
}

QList<CaptureUse> CaptureDeviceProbe::scan() const {
    QList<CaptureUse> uses;
    const QStringList cameras = matching(videoDevicePattern());
    if (!cameras.isEmpty())
        addCameraHolders(cameras, uses);
    addRunningCaptures(asoundRoot(), uses);
    return uses;
}

} // namespace quindle::platform
