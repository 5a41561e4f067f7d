#include "ui/WindowKind.h"

#include <algorithm>

namespace quindle::ui {

WindowSpec specFor(WindowKind kind) {
    switch (kind) {
    case WindowKind::UpdatePrompt:
        return {QStringLiteral("Quindle — Update Available"), {720, 580}, false};
    case WindowKind::LegalAcceptance:
        return {QStringLiteral("Welcome to Quindle"), {760, 620}, false};
    case WindowKind::SetupWizard:
        return {QStringLiteral("Quindle Setup"), {640, 480}, false};
    case WindowKind::ServiceStart:
        return {QStringLiteral("Quindle — Start Service"), {700, 560}, false};
    case WindowKind::Log:
        return {QStringLiteral("Quindle — Log"), {720, 480}, true};
    case WindowKind::RulesConfig:
        return {QStringLiteral("Quindle — Rules & Config"), {700, 520}, true};
    case WindowKind::Inspect:
        return {QStringLiteral("Quindle — Inspect"), {520, 600}, true};
    case WindowKind::ChooseDrive:
        return {QStringLiteral("Quindle — Choose Drive"), {760, 560}, true};
    case WindowKind::Tier:
        return {QStringLiteral("Quindle — Tier"), {920, 600}, true};
    case WindowKind::Uninstall:
        return {QStringLiteral("Uninstall Quindle"), {640, 520}, false};
    case WindowKind::Settings:
        return {QStringLiteral("Quindle — Settings"), {720, 640}, true};
    case WindowKind::ShareExperience:
        return {QStringLiteral("Quindle — Share Your Experience"), {640, 620}, true};
    case WindowKind::Transfers:
        return {QStringLiteral("Quindle — Transfers"), {880, 580}, true};
    case WindowKind::Help:
        return {QStringLiteral("Quindle — Help"), {900, 640}, true};
    case WindowKind::TermsOfService:
    case WindowKind::PrivacyPolicy:
    case WindowKind::Disclaimer:
    case WindowKind::SecurityPolicy:
    case WindowKind::ThirdPartyNotices:
        return {QStringLiteral("Quindle — ") + shownDocument(kind).title, {900, 640}, true};
    case WindowKind::Apps:
        return {QStringLiteral("Quindle — Apps"), {820, 560}, true};
    case WindowKind::Remotes:
        return {QStringLiteral("Quindle — Remotes & Accounts"), {720, 500}, true};
    case WindowKind::StorageInspector:
        return {QStringLiteral("Quindle — Storage Inspector"), {760, 560}, true};
    case WindowKind::FolderMove:
        return {QStringLiteral("Quindle — Move to NVMe"), {640, 420}, true};
    case WindowKind::FreeSpace:
        return {QStringLiteral("Quindle — Free Up Space"), {640, 460}, true};
    case WindowKind::CloudOptimisation:
        return {QStringLiteral("Quindle — Cloud Folder"), {640, 460}, true};
    case WindowKind::Charts:
        return {QStringLiteral("Quindle — Storage Charts"), {900, 640}, true};
    }
    return {};
}

const QList<WindowKind> &legalDocumentWindows() {
    static const QList<WindowKind> kinds{WindowKind::TermsOfService, WindowKind::PrivacyPolicy,
                                         WindowKind::Disclaimer, WindowKind::SecurityPolicy,
                                         WindowKind::ThirdPartyNotices};
    return kinds;
}

ShippedDocument shownDocument(WindowKind kind) {
    const qsizetype index = legalDocumentWindows().indexOf(kind);
    return index < 0 ? helpGuide() : legalMenuDocuments().at(index);
}

QKeySequence settingsShortcut() {
    return QKeySequence(Qt::CTRL | Qt::Key_Comma);
}

QSize openingSize(WindowKind kind, const QFont &font, const QSize &available) {
    constexpr double kDrawnForPoints = 9.0;
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : kDrawnForPoints;
    const QSize grown = specFor(kind).size * std::max(1.0, points / kDrawnForPoints);
    return available.isValid() ? grown.boundedTo(available) : grown;
}

} // namespace quindle::ui
