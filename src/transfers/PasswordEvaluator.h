#pragma once

#include <QString>

namespace quindle::PasswordEvaluator {

// Forms accept a password or secret key from this score on.
constexpr int acceptedScore = 2;

// 0 (very weak) to 4 (strong): length, character classes, less for runs, keyboard rows and years;
// 0 for an empty password or one of the most widely used ones.
int score(const QString &password);
bool accepted(const QString &password);
QString label(int score); // "Very weak" … "Strong"
QString hint(int score);  // empty for the strongest

} // namespace quindle::PasswordEvaluator
