#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace quindle {

// The transfer engine as the Tier window uses it for cloud folders. The application supplies
// it: the tier logic sits beside the transfer subsystem, not above it.
class CloudMoves : public QObject {
    Q_OBJECT
public:
    enum class End { Completed, Failed, Vanished };

    using QObject::QObject;

    virtual bool rcloneInstalled() const = 0;
    // Queues one move of `source` to `destination`, `transfers` files at a time; its id, or
    // nothing when the same transfer is already active.
    virtual std::optional<QUuid> enqueueMove(const QString &source, const QString &destination,
                                             int transfers) = 0;

Q_SIGNALS:
    void filesLanded(const QUuid &id); // more of the job's files reached the destination
    void ended(const QUuid &id, quindle::CloudMoves::End end);
};

} // namespace quindle
