#include "app/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quindle"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quindle"));
    return quindle::runCommandLine(QCoreApplication::arguments().mid(1));
}
