#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>

namespace quindle {

// The service's configuration file (~/.quindle/quindle.conf): a file bash sources on every watch
// tick, which people also edit by hand. Every call reads the file again; a rewrite keeps every
// line it does not own exactly as it was.
class ConfigFile {
public:
    ConfigFile(); // the service's own file
    explicit ConfigFile(QString path)
        : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }

    // The value of the last assignment of `key`, the one bash keeps; nothing when the file cannot
    // be read or has none.
    std::optional<QString> value(const QString &key) const;

    // Gives each key its value: every assignment of a key is replaced in place, keys not in the
    // file are appended under a header. Returns the reason when nothing was written; the
    // file is then unchanged.
    std::optional<QString> set(const std::map<QString, QString> &updates) const;

    struct Contents {
        enum class State { Read, Missing, Failed };
        State state = State::Missing;
        QString text;         // when read
        QString error;        // a sentence naming the file and the reason
        bool lossless = true; // false: not UTF-8, so `text` stands in for some bytes
    };
    // The whole file. Text that is not UTF-8 is read, but with lossless false and an error: a
    // rewrite would garble it.
    Contents read() const;
    // Replaces the whole file through `<file>.tmp.<pid>` and one rename, so the service reads
    // either the old text or the new one. Returns the reason on failure.
    std::optional<QString> replaceText(const QString &text) const;

    // The last assignment of `key` exactly as written after `KEY=` (quotes and escapes kept).
    std::optional<QString> written(const QString &key) const;
    // The last assignment of every key, each value as bash reads it (see unquote()), from one
    // read; nothing when the file cannot be read.
    std::optional<std::map<QString, QString>> values() const;

    // One line as an assignment: (key, value), or nothing for arrays and anything else. The value
    // loses its outer quotes only, as the service's own reader takes it.
    static std::optional<std::pair<QString, QString>> parse(const QString &line);
    // The same, with the value exactly as written.
    static std::optional<std::pair<QString, QString>> parseRaw(const QString &line);
    // What bash makes of a value written by quote() (or by hand): quotes and escapes undone.
    static QString unquote(const QString &written);
    // The value as it is written after `KEY=`; see unwritable() for values with no safe form.
    static QString quote(const QString &value);
    // Why bash could not read the value back exactly as given; nothing when it can.
    static std::optional<QString> unwritable(const QString &value);
    // A key bash accepts as a variable name.
    static bool isValidKey(const QString &key);

    // The rewrite of set() on a text, without touching any file.
    static QString rewrite(const QString &text, const std::map<QString, QString> &updates);

    // Lines as the file is split: at each line feed, empty pieces kept.
    static QStringList splitLines(const QString &text);
    static QString trimmed(const QString &line); // spaces and tabs only
    static bool isBlank(QChar c);                // a space or a tab, where bash splits words

    static inline const QString newKeysHeader =
        QStringLiteral("# --- Set by the Preferences window ---");

private:
    QString m_path;
};

} // namespace quindle
