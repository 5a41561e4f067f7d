#include "app/CommandLine.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

void describe() {
    QCoreApplication::setApplicationName(QStringLiteral("Quindle"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quindle"));
}

} // namespace

// No arguments: the desktop application. Otherwise the command-line front end, which needs no
// display.
int main(int argc, char *argv[]) {
    if (argc <= 1) {
        QApplication app(argc, argv);
        describe();
        return quindle::runDesktop(app);
    }
    QCoreApplication app(argc, argv);
    describe();
    return quindle::runCommandLine(QCoreApplication::arguments().mid(1));
}
