#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quindle::test {

void TempHomeTest::SetUp() {
    ASSERT_TRUE(m_home.isValid());
    setEnv("HOME", m_home.path());
    setEnv("XDG_CONFIG_HOME", inHome(".config"));
    setEnv("XDG_DATA_HOME", inHome(".local/share"));
    setEnv("XDG_STATE_HOME", inHome(".local/state"));
    setEnv("XDG_CACHE_HOME", inHome(".cache"));
}

void TempHomeTest::TearDown() {
    for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
        if (it.value())
            qputenv(it.key().constData(), *it.value());
        else
            qunsetenv(it.key().constData());
    }
    m_saved.clear();
}

void TempHomeTest::setEnv(const char *name, const QString &value) {
    remember(name);
    qputenv(name, value.toLocal8Bit());
}

void TempHomeTest::unsetEnv(const char *name) {
    remember(name);
    qunsetenv(name);
}

void TempHomeTest::remember(const char *name) {
    if (!m_saved.contains(name))
        m_saved.insert(name, qEnvironmentVariableIsSet(name)
                                 ? std::optional<QByteArray>(qgetenv(name))
                                 : std::nullopt);
}

void writeText(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

QByteArray readText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace quindle::test
