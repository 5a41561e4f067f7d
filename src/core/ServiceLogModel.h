#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace quindle {

// The service's log as the log window shows it: read whole off the main thread, and again every
// refreshInterval while someone watches.
class ServiceLogModel : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds refreshInterval{2000};

    explicit ServiceLogModel(QObject *parent = nullptr);

    static QString path();
    // Reads now, then every refreshInterval until stopPolling().
    void startPolling();
    void stopPolling();
    void refresh();

    // The last read's last `lines` lines (split at line feeds, empty lines kept), "(log empty)",
    // or "(log not found at …)" when it could not be read.
    QString excerpt(int lines) const { return excerpt(m_content, m_path, lines); }
    static QString excerpt(const std::optional<QByteArray> &content, const QString &path,
                           int lines);

Q_SIGNALS:
    // A read finished.
    void refreshed();

private:
    QTimer m_timer;
    bool m_reading = false;
    QString m_path; // of the last read
    std::optional<QByteArray> m_content;
};

} // namespace quindle
