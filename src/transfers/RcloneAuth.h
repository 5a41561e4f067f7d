#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace quindle {

namespace platform {
class ChildProcess;
class SilentUrlOpener;
struct ChildResult;
} // namespace platform

// A browser sign-in for a Google account: `rclone config create … config_is_local=true` listens
// on the loopback address, prints where, and stores the token once the browser comes back.
// One sign-in at a time. rclone would open the address itself; it finds a silent opener first
// on its PATH, and this object opens the address once, as the user asked.
class RcloneAuth : public QObject {
    Q_OBJECT
public:
    enum class Step { Idle, Starting, AwaitingBrowser, Done, Failed, Canceled };
    using Opener = std::function<void(const QUrl &)>;

    static constexpr qsizetype failureTailCharacters = 800;

    explicit RcloneAuth(QObject *parent = nullptr);
    ~RcloneAuth() override;

    // Replaces the desktop's browser (tests follow the address themselves).
    void setOpener(Opener opener) { m_opener = std::move(opener); }

    Step step() const { return m_step; }
    const QUrl &url() const { return m_url; }
    const QString &message() const { return m_message; } // why it failed
    const QString &output() const { return m_output; }   // rclone's, tokens left out
    bool savingToken() const { return m_savingToken; }

    void start(const QString &nickname, const QString &type, const QString &clientId,
               const QString &clientSecret);
    void reopenUrl();
    void cancel();
    void reset(); // "Try Again": back to the form

    // The heading and the line under it for the current step.
    QString title() const;
    QString detail() const;

    static QStringList arguments(const QString &nickname, const QString &type,
                                 const QString &clientId, const QString &clientSecret);
    // The first address in `text` that belongs to a sign-in.
    static std::optional<QUrl> signInAddress(const QString &text);
    // A Google address asks for the account chooser, unless it already names a prompt.
    static QUrl withAccountChooser(const QUrl &url);

Q_SIGNALS:
    void stepChanged();
    void outputChanged();

private:
    void take(const QString &line);
    void finish(const platform::ChildResult &result);
    void moveTo(Step step, const QString &message = {});

    Opener m_opener;
    std::unique_ptr<platform::SilentUrlOpener> m_silentOpener;
    std::unique_ptr<platform::ChildProcess> m_child;
    Step m_step = Step::Idle;
    QUrl m_url;
    QString m_message;
    QString m_output;
    bool m_savingToken = false;
    bool m_canceling = false;
};

} // namespace quindle
