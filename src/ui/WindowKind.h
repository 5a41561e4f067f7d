#pragma once

#include "core/ShippedDocuments.h"

#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QSize>
#include <QString>

namespace quindle::ui {

// Every window the application opens; at most one of each exists at a time.
enum class WindowKind {
    UpdatePrompt,
    LegalAcceptance,
    SetupWizard,
    ServiceStart,
    Log,
    RulesConfig,
    Inspect,
    ChooseDrive,
    Tier,
    Uninstall,
    Settings,
    ShareExperience,
    Transfers,
    Help,
    // The Legal menu's documents, in its order.
    TermsOfService,
    PrivacyPolicy,
    Disclaimer,
    SecurityPolicy,
    ThirdPartyNotices,
    Apps,
    Remotes,
    StorageInspector,
    FolderMove,
    FreeSpace,
    CloudOptimisation,
    Charts
};

// The Legal menu: each document's window.
const QList<WindowKind> &legalDocumentWindows();
// The text a document window shows: a legal document, else the Help guide.
ShippedDocument shownDocument(WindowKind kind);

struct WindowSpec {
    QString title;
    QSize size;
    bool resizable;
};

WindowSpec specFor(WindowKind kind);

// The keys that open Settings from every window: Ctrl+,.
QKeySequence settingsShortcut();

// The window's design size grown with the font (the sizes are drawn for a 9 pt desktop font),
// within `available`.
QSize openingSize(WindowKind kind, const QFont &font, const QSize &available);

} // namespace quindle::ui
