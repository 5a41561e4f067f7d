#pragma once

#include <QString>
#include <QStringList>

namespace quindle::test {

// The real service scripts from the source tree, installed into the temporary home the way the
// installer lays them out, with a spare folder standing in for the drive.
struct ServiceSandbox {
    // Copies service/*.sh into ~/.quindle and writes the configuration template with `drive` as
    // the NVMe (a plain folder counts as mounted). Sets QUINDLE_MACHINE_NAME for the run.
    static void install(const QString &drive, const QStringList &extraConfigLines = {});

    // Runs `quindle.sh <arguments…>`; returns the exit status and fills `output` (both streams).
    static int run(const QStringList &arguments, QString *output = nullptr);

    // The same with the service's clock `days` ahead (libfaketime): whatever the test made is
    // that old to it, change times included. A file's own time may be set later than now to make
    // it younger.
    static int runLater(int days, const QStringList &arguments, QString *output = nullptr);

    // Prepares the drive like the setup wizard: 2-prep-nvme.sh --auto with NVMe set.
    static int prepareDrive(const QString &drive);
};

} // namespace quindle::test
