#include "transfers/PasswordEvaluator.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>

namespace quindle::PasswordEvaluator {

namespace {

const QSet<QString> &commonPasswords() {
    static const QSet<QString> list = [] {
        QFile file(QStringLiteral(":/quindle/common-passwords.txt"));
        QSet<QString> words;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    words.insert(QString::fromUtf8(line.trimmed()));
        return words;
    }();
    return list;
}

bool hasTripleCharacter(const QString &password) {
    for (qsizetype i = 2; i < password.size(); ++i)
        if (password.at(i) == password.at(i - 1) && password.at(i) == password.at(i - 2))
            return true;
    return false;
}

} // namespace

int score(const QString &password) {
    const QString lower = password.toLower();
    if (password.isEmpty() || commonPasswords().contains(lower))
        return 0;
    const qsizetype length = password.size();
    double value = length < 8 ? 0 : length < 12 ? 1 : length < 16 ? 2 : 3;

    static const std::array<QRegularExpression, 4> classes{
        QRegularExpression(QStringLiteral("[a-z]")), QRegularExpression(QStringLiteral("[A-Z]")),
        QRegularExpression(QStringLiteral("[0-9]")),
        QRegularExpression(QStringLiteral("[^A-Za-z0-9]"))};
    for (const QRegularExpression &characterClass : classes)
        if (characterClass.match(password).hasMatch())
            value += 0.5;

    if (hasTripleCharacter(password))
        value -= 1;
    static const std::array<const char *, 9> keyboardRuns{
        "qwerty", "asdf", "zxcv", "1234", "12345", "123456", "qwertz", "azerty", "wasd"};
    if (std::any_of(keyboardRuns.cbegin(), keyboardRuns.cend(),
                    [&](const char *run) { return lower.contains(QLatin1String(run)); }))
        value -= 1;
    static const QRegularExpression year(QStringLiteral(R"((19|20)\d{2})"));
    if (year.match(password).hasMatch())
        value -= 1;
    return std::clamp(static_cast<int>(std::floor(value)), 0, 4);
}

bool accepted(const QString &password) {
    return score(password) >= acceptedScore;
}

QString label(int score) {
    switch (score) {
    case 0:
        return QStringLiteral("Very weak");
    case 1:
        return QStringLiteral("Weak");
    case 2:
        return QStringLiteral("Fair");
    case 3:
        return QStringLiteral("Good");
    default:
        return QStringLiteral("Strong");
    }
}

QString hint(int score) {
    switch (score) {
    case 0:
        return QStringLiteral("Won't be accepted — too short or too common.");
    case 1:
        return QStringLiteral("Won't be accepted — add length and mix character types.");
    case 2:
        return QStringLiteral("Accepted, but consider adding more length or symbols.");
    case 3:
        return QStringLiteral("Accepted. A few more characters would make it stronger.");
    default:
        return {};
    }
}

} // namespace quindle::PasswordEvaluator
