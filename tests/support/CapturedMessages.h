#pragma once

#include <QString>
#include <QStringList>

namespace quindle::test {

// Collects what the code under test logs (qInfo, qWarning …) while it lives, still printing it.
class CapturedMessages {
public:
    CapturedMessages();
    ~CapturedMessages();
    CapturedMessages(const CapturedMessages &) = delete;
    CapturedMessages &operator=(const CapturedMessages &) = delete;

    QStringList lines() const;
    // The lines that start with `prefix`, in order.
    QStringList startingWith(const QString &prefix) const;
    bool contains(const QString &line) const { return lines().contains(line); }
};

} // namespace quindle::test
