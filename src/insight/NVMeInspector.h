#pragma once

#include "insight/NVMeInfo.h"

#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// The drive inspector's state: the service's answer to nvme-info and to validate.
class NVMeInspector : public QObject {
    Q_OBJECT
public:
    explicit NVMeInspector(QObject *parent = nullptr);

    void refresh();  // runs nvme-info
    void validate(); // runs validate, then refreshes

    bool isRefreshing() const { return m_refreshing; }
    bool isValidating() const { return m_validating; }
    const std::optional<NVMeInfo> &info() const { return m_info; }
    // "Reading NVMe info…" while a refresh runs, "Could not read NVMe info." after a failed one.
    QString placeholderText() const;
    const std::optional<bool> &validationPassed() const { return m_validationPassed; }
    const QString &validationText() const { return m_validationText; }

Q_SIGNALS:
    void changed();

private:
    bool m_refreshing = false;
    bool m_validating = false;
    bool m_refreshFailed = false;
    std::optional<NVMeInfo> m_info;
    std::optional<bool> m_validationPassed;
    QString m_validationText;
};

} // namespace quindle
