#pragma once

#include <QFuture>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace quindle {

// One `key value` pair of `rclone config create`, in the order given.
using RcloneOption = QPair<QString, QString>;

struct RcloneWriteResult {
    bool success = false;
    QString output; // standard output, then standard error, the empty ones left out
};

// Changes rclone's configuration through rclone, never by writing its file.
namespace RcloneConfigWriter {

// `config create NAME TYPE key value … --non-interactive --obscure`: rclone obscures the
// password values itself.
QStringList createArguments(const QString &name, const QString &type,
                            const QList<RcloneOption> &options);

// Blocking forms, for worker threads.
RcloneWriteResult runBlocking(const QString &rclone, const QStringList &arguments);
RcloneWriteResult createBlocking(const QString &name, const QString &type,
                                 const QList<RcloneOption> &options);

QFuture<RcloneWriteResult> create(const QString &name, const QString &type,
                                  const QList<RcloneOption> &options);

} // namespace RcloneConfigWriter

} // namespace quindle
