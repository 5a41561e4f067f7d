#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// "Open at login": an autostart entry that starts this application when the person logs in.
class LoginItem : public QObject {
    Q_OBJECT
public:
    explicit LoginItem(QObject *parent = nullptr);

    static LoginItem &shared();

    // Re-read on every call: the person may remove the entry in the desktop's settings.
    bool isEnabled() const;
    const std::optional<QString> &lastError() const { return m_lastError; }

    // A failure keeps its description in lastError; either way changed() follows.
    void setEnabled(bool enabled);

    // The program the entry starts: this executable.
    static QString applicationProgram();
    static QString entryFileName(); // quindle.desktop

Q_SIGNALS:
    void changed();

private:
    std::optional<QString> m_lastError;
};

} // namespace quindle
