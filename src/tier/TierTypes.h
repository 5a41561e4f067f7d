#pragma once

#include <QString>

namespace quindle {

// The two panes of the Tier window: the internal disk on the left, the drive on the right.
enum class Side { Left, Right };

inline Side otherSide(Side side) {
    return side == Side::Left ? Side::Right : Side::Left;
}
QString sideName(Side side); // "left", "right"

// What a toast means; the view picks the colour and tells screen readers.
enum class Tone { Success, Info, Warning, Error };

struct Toast {
    QString text;
    Tone tone = Tone::Info;
    bool operator==(const Toast &) const = default;
};

// A cloud path is remote + ":" + path: it does not begin with "/" and has a ":" after its first
// character.
bool isCloudPath(const QString &path);

// The last component of a local or cloud path; empty for "/" and for a remote's root.
QString lastPathComponent(const QString &path);

// The folder one level up, or empty at "/" and at a remote's root.
QString parentPath(const QString &path);

// `name` inside the folder `path`, for local and cloud paths alike.
QString childPath(const QString &path, const QString &name);

// `path` equals `root` or lies below it.
bool isWithin(const QString &path, const QString &root);

} // namespace quindle
