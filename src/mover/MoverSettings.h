#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// How hard the mover looks at a copy before the source is touched. Raw strings are stored.
enum class VerificationLevel { Fast, Thorough, Off };

QString rawValue(VerificationLevel level);
std::optional<VerificationLevel> verificationLevelFromRaw(const QString &raw);
QString title(VerificationLevel level);
QString description(VerificationLevel level);

// The mover's two preferences, kept in the per-user preferences under quindle.mover.*.
class MoverSettings : public QObject {
    Q_OBJECT
public:
    static constexpr int minConcurrent = 1;
    static constexpr int maxConcurrentLimit = 16;
    static constexpr int defaultConcurrent = 5;

    explicit MoverSettings(QObject *parent = nullptr); // reads the stored values

    int maxConcurrent() const { return m_maxConcurrent; }
    void setMaxConcurrent(int value); // clamped to 1…16, written when it changes
    VerificationLevel verificationLevel() const { return m_level; }
    void setVerificationLevel(VerificationLevel level); // written every time

    // The settings pane's labels.
    static QString parallelTransfersTitle();
    static QString parallelTransfersUnit();
    static QString parallelTransfersHelp();
    static QString verificationLevelTitle();

Q_SIGNALS:
    void changed();

private:
    int m_maxConcurrent = defaultConcurrent;
    VerificationLevel m_level = VerificationLevel::Fast;
};

} // namespace quindle
