#include "updates/UpdaterScript.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace quindle {

QString shellQuoted(const QString &value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QByteArray updaterScript(const UpdaterValues &values) {
    QFile body(QStringLiteral(":/quindle/updater.sh"));
    body.open(QIODevice::ReadOnly);
    const std::pair<const char *, QString> assignments[] = {
        {"LOG", values.log},
        {"PARENT", QString::number(values.parent)},
        {"ARCHIVE", values.archive},
        {"STAGING", values.staging},
        {"BUILD", values.build},
        {"INSTALL", values.install},
        {"PREVIOUS", values.previous},
        {"PARENT_CHECKS", QString::number(values.parentChecks)},
        {"START_WAIT", QString::number(values.startWaitSeconds)}};
    QByteArray script = "#!/bin/bash\n";
    for (const auto &[name, value] : assignments)
        script += QByteArray(name) + '=' + shellQuoted(value).toUtf8() + '\n';
    return script + body.readAll();
}

std::optional<QString> writeUpdaterScript(const QString &path, const UpdaterValues &values) {
    const QByteArray text = updaterScript(values);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0700);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n =
            ::write(fd, text.constData() + written, static_cast<size_t>(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            ::unlink(QFile::encodeName(path).constData());
            return error;
        }
        written += n;
    }
    if (::close(fd) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
}

} // namespace quindle
