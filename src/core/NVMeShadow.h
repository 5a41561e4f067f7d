#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle {

enum class ShadowPolicy {
    Mirror,   // also keep a copy on the NVMe
    LocalOnly // the internal copy only
};

// Small state files that must outlive the loss of the internal disk's copy: each lives in
// ~/.quindle/state and, when asked, in <working folder>/Quindle-State on the NVMe as well. Both
// copies are written whole and readable by their owner only.
class NVMeShadow {
public:
    // True when the internal copy was written; a drive that is missing or fails only skips the
    // mirror (and says so on standard error).
    static bool write(const QByteArray &data, const QString &basename, ShadowPolicy policy);
    // Removes both copies; either may already be gone.
    static void remove(const QString &basename);

    // ~/.quindle/state/<basename>.
    static QString internalPath(const QString &basename);
    // The mirror under the drive the service's status names; nothing when it names none or that
    // path does not exist.
    static std::optional<QString> shadowPath(const QString &basename);
};

} // namespace quindle
