#include "support/FakeExecutables.h"

#include <QFile>

namespace quindle::test {

FakeExecutables::FakeExecutables() = default;

FakeExecutables::~FakeExecutables() {
    if (m_pathChanged)
        qputenv("PATH", m_savedPath);
}

QString FakeExecutables::add(const QString &name, const QByteArray &body) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write("#!/bin/bash\n" + body + '\n');
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::ExeOther);
    }
    return path;
}

void FakeExecutables::putFirstOnPath() {
    if (!m_pathChanged) {
        m_savedPath = qgetenv("PATH");
        m_pathChanged = true;
    }
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_savedPath);
}

} // namespace quindle::test
