#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quindle::test {

// What a program run to its end printed, and its exit status (-1 when a signal ended it).
struct CommandRun {
    int status = -1;
    QString out, err;
};

// Runs `program` to its end, `input` on its standard input, while this process's event loop keeps
// turning, so a server the test runs here can answer it.
CommandRun
runCommand(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
           const QString &workingDirectory = {}, const QByteArray &input = {});

} // namespace quindle::test
