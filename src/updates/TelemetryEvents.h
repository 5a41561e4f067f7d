#pragma once

#include <QMap>
#include <QString>

namespace quindle {

using EventProperties = QMap<QString, QString>;

// The only events Quindle ever sends, each with exactly its properties and their allowed values:
//   app_launched       version (digits and dots), desktop (kde|gnome|xfce|other), tray (yes|no)
//   transfer_finished  mode (a transfer mode), state (completed|failed|canceled),
//                      remote_type (a known account type, or local)
//   feedback_sent      category (a feedback category)
// True when `name` with `properties` is one of them; anything else is never sent.
bool isCataloguedEvent(const QString &name, const EventProperties &properties);

// The desktop as app_launched names it, from the session's desktop names ("ubuntu:GNOME").
QString desktopFamily(const QString &currentDesktop);

} // namespace quindle
