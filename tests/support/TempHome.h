#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <optional>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace quindle::test {

// Every test gets a fresh, empty home folder: HOME and the XDG folders point into it, and the
// previous values come back afterwards.
class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString home() const { return m_home.path(); }
    // An absolute path inside the temporary home.
    QString inHome(const QString &relative) const { return m_home.path() + u'/' + relative; }

    // Sets an environment variable for the rest of the test only.
    void setEnv(const char *name, const QString &value);
    // Removes an environment variable for the rest of the test only.
    void unsetEnv(const char *name);

private:
    void remember(const char *name);

    QTemporaryDir m_home{QDir::tempPath() + "/quindle-home-XXXXXX"};
    QMap<QByteArray, std::optional<QByteArray>> m_saved;
};

// Writes a text file, creating its folders.
void writeText(const QString &path, const QByteArray &content);
QByteArray readText(const QString &path);

} // namespace quindle::test
