#pragma once

#include "core/ConfigFile.h"

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace quindle {

// One record of the configuration's RULES array: "action | source | destination | age | extras".
struct RuleRecord {
    QString action;
    QString source; // $HOME already expanded
    QString destination;
    qint64 ageDays = 0;
    QString extras;

    bool operator==(const RuleRecord &) const = default;
};

// Reads and writes the RULES block of the configuration. The service reads the same block as a
// bash array, so every record written must read back the same there.
class RulesBlock {
public:
    // The lines [first, last] the block takes in the text split into lines.
    static std::optional<std::pair<qsizetype, qsizetype>> find(const QStringList &lines);

    // The records of the block; records with fewer than four fields are skipped.
    static QList<RuleRecord> parse(const QString &text, const QString &home);
    // The text with its block replaced by `records` (appended when it has none).
    static QString rewrite(const QString &text, const QList<RuleRecord> &records,
                           const QString &home);
    // `  "action | source | destination | age | extras"`, the home folder written as $HOME.
    static QString recordLine(const RuleRecord &record, const QString &home);
    // Why the record cannot be written so that bash reads it back unchanged, as a sentence
    // naming the rule by its `number` (from 1) and the character in the way; nothing when it can.
    static std::optional<QString> unwritable(const RuleRecord &record, qsizetype number,
                                             const QString &home);

    // $HOME and ${HOME} replaced by `home` as bash expands them (`$HOMEX` is another variable).
    static QString expandHome(const QString &field, const QString &home);

    // The rules in the file; nothing when it cannot be read.
    static std::optional<QList<RuleRecord>> read(const ConfigFile &config);
    // Replaces the file's rules. Fails with "Couldn't read config", leaving the file untouched,
    // when the file cannot be read.
    static std::optional<QString> write(const ConfigFile &config, const QList<RuleRecord> &records);

    static inline const QString readFailure = QStringLiteral("Couldn't read config");
};

} // namespace quindle
