#pragma once

#include "tier/TierTypes.h"

#include <QObject>
#include <QString>

namespace quindle {

// The red banner shown while no GNU rsync was found, with its "Reload Probe" action and a
// dismissal kept in the preferences.
class RsyncBanner : public QObject {
    Q_OBJECT
public:
    static QString dismissedKey(); // quindle.tworsync.banner.dismissed.v1

    // Starts the first probe if nobody has, and updates once it has finished.
    explicit RsyncBanner(QObject *parent = nullptr);

    // The probe has finished, found no GNU rsync, and the banner was not dismissed.
    bool isVisible() const;
    bool isDismissed() const;
    void dismiss();
    bool isReloading() const { return m_reloading; }

    static QString title();
    static QString detail();
    // The command the copy action puts on the clipboard; empty when the distribution is unknown.
    static QString installCommand();
    static Toast copiedToast();

    // Probes again and reports the result in a toast.
    void reloadProbe();

Q_SIGNALS:
    void changed();
    void toastPosted(const Toast &toast);

private:
    bool m_reloading = false;
};

} // namespace quindle
