#include "ui/DocumentWindow.h"
#include "WindowFixture.h"
#include "ui/MarkdownView.h"
#include "ui/WindowKind.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

using namespace quindle;

namespace {

QList<ui::WindowKind> documentKinds() {
    return ui::legalDocumentWindows() + QList{ui::WindowKind::Help};
}

} // namespace

TEST(DocumentWindows, EachShipsItsTextUnderItsOwnTitle) {
    QStringList titles;
    for (ui::WindowKind kind : documentKinds()) {
        const ShippedDocument document = ui::shownDocument(kind);
        titles << ui::specFor(kind).title;
        EXPECT_EQ(ui::specFor(kind).size, QSize(900, 640));
        ui::DocumentWindow window(document);
        const QString shown = window.view()->document()->toPlainText();
        EXPECT_TRUE(document.read()) << document.fileName.toStdString();
        EXPECT_GT(shown.size(), 200) << document.fileName.toStdString();
        test::expectNamedControls(&window);
    }
    EXPECT_EQ(titles, QStringList({"Quindle — Terms of Service", "Quindle — Privacy Policy",
                                   "Quindle — Disclaimer", "Quindle — Security Policy",
                                   "Quindle — Third-party notices", "Quindle — Help"}));
}

TEST(DocumentWindows, AMissingOrUndecodableTextSaysSoInItsPlace) {
    const QTemporaryDir folder;
    QFile broken(folder.filePath("GUIDE.md"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("# Help\n\xff\xfe not text\n");
    broken.close();
    for (const QString &file : QStringList{"GUIDE.md", "MISSING.md"}) {
        const ShippedDocument document{"Help", folder.path(), file};
        ui::DocumentWindow window(document);
        EXPECT_EQ(window.view()->document()->toPlainText(),
                  QStringLiteral("Quindle could not read the Help it ships with (%1 in %2).")
                      .arg(file, folder.path()));
    }
}

TEST(DocumentWindows, TheGuideNamesTheLinuxFactsAPersonLooksFor) {
    const QString guide = ui::shownDocument(ui::WindowKind::Help).read().value_or(QString());
    for (const char *fact : {"/run/media/", "udisksctl", "xdg-open", "~/.quindle/quindle.log",
                             "systemctl --user", "~/.config/autostart/quindle-service.desktop"})
        EXPECT_TRUE(guide.contains(QLatin1String(fact))) << fact;
}
