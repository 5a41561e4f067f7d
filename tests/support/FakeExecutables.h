#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace quindle::test {

// Small bash scripts that stand in for programs this machine cannot run for real
// (systemctl --user, pkexec, xprintidle) or for builds it does not have (another rsync).
class FakeExecutables {
public:
    FakeExecutables();
    ~FakeExecutables();
    FakeExecutables(const FakeExecutables &) = delete;
    FakeExecutables &operator=(const FakeExecutables &) = delete;

    // Writes an executable `name` running `body` under bash; returns its path.
    QString add(const QString &name, const QByteArray &body);
    // Puts the folder first on PATH until this object is destroyed.
    void putFirstOnPath();
    QString directory() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_savedPath;
    bool m_pathChanged = false;
};

} // namespace quindle::test
