#include "app/CommandLine.h"

#include "core/LegalAcceptance.h"

#include <QTextStream>

namespace quindle {

// quindle legal status: whether this build's legal documents are accepted. Accepting them is
// left to the window, where a person reads them.
int runLegal(const QStringList &arguments) {
    if (arguments != QStringList{QStringLiteral("status")}) {
        QTextStream(stderr) << "Usage: quindle legal status\n";
        return 2;
    }
    QTextStream out(stdout);
    const LegalAcceptance legal;
    out << (legal.hasAcceptedCurrent() ? "accepted" : "not accepted") << '\n';
    QStringList updated;
    for (LegalDocument document : legal.changedSinceLast())
        updated << title(document);
    if (!updated.isEmpty())
        out << "Updated since your last acceptance: " << updated.join(QStringLiteral(", ")) << '\n';
    return legal.hasAcceptedCurrent() ? 0 : 1;
}

} // namespace quindle
