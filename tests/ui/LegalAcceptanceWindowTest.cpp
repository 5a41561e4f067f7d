#include "ui/LegalAcceptanceWindow.h"
#include "WindowFixture.h"
#include "core/LegalAcceptance.h"
#include "core/NVMeShadow.h"
#include "support/FakeExecutables.h"
#include "support/Unprivileged.h"
#include "support/WaitUntil.h"
#include "ui/MarkdownView.h"
#include "ui/WindowKind.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace quindle;

namespace {

const QString kShipped = QStringLiteral(QUINDLE_SOURCE_DIR "/resources/Legal");
const QString kReadAndAccept =
    "I have read and accept the Terms of Service, Privacy Policy, and Disclaimer.";
const QString kNotABackup =
    "I understand Quindle is not a backup tool, and that I am responsible for "
    "maintaining independent backups of any data I value.";

} // namespace

class LegalWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(documents());
        for (const QString &file : QDir(kShipped).entryList({"*.md"}))
            ASSERT_TRUE(QFile::copy(kShipped + u'/' + file, documents(file)));
    }
    QString documents(const QString &file = {}) const {
        return file.isEmpty() ? inHome("Legal") : inHome("Legal/" + file);
    }
    static void show(QWidget *window) {
        showAt(window, ui::specFor(ui::WindowKind::LegalAcceptance).size);
    }
    static QLabel *labelOf(QWidget *root, const QString &text) {
        for (QLabel *label : root->findChildren<QLabel *>())
            if (label->text() == text)
                return label;
        return nullptr;
    }
};

TEST_F(LegalWindowTest, ContinueWaitsForBothConfirmationsAndThenRecords) {
    LegalAcceptance legal(documents());
    ui::LegalAcceptanceWindow window(legal);
    show(&window);
    test::expectNamedControls(&window);
    QSignalSpy accepted(&window, &ui::LegalAcceptanceWindow::accepted);
    auto *next = test::control<QPushButton>(&window, "Continue");
    auto *readAndAccept = test::control<QCheckBox>(&window, kReadAndAccept);
    auto *notABackup = test::control<QCheckBox>(&window, kNotABackup);
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(test::showsNow(&window, "Updated since your last acceptance: "));

    readAndAccept->click();
    EXPECT_FALSE(next->isEnabled());
    // The sentence beside a box ticks it, as a box's own text would.
    QTest::mouseClick(labelOf(&window, kNotABackup), Qt::LeftButton);
    EXPECT_TRUE(notABackup->isChecked());
    EXPECT_TRUE(next->isEnabled());
    readAndAccept->click();
    EXPECT_FALSE(next->isEnabled());

    readAndAccept->click();
    next->click();
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_TRUE(legal.hasAcceptedCurrent());
}

TEST_F(LegalWindowTest, AStateFolderThatCannotBeWrittenStillLetsTheLaunchGoOn) {
    QDir().mkpath(inHome(".quindle"));
    QFile(inHome(".quindle")).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const int outcome = test::runUnprivileged([] {
        // The shipped documents: the temporary home is closed to the unprivileged user.
        LegalAcceptance legal(kShipped);
        ui::LegalAcceptanceWindow window(legal);
        int accepted = 0;
        QObject::connect(&window, &ui::LegalAcceptanceWindow::accepted, [&] { ++accepted; });
        for (QCheckBox *box : window.findChildren<QCheckBox *>())
            box->click();
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->accessibleName() == "Continue")
                button->click();
        if (accepted != 1)
            return 1;
        return legal.record() || legal.hasAcceptedCurrent() ? 2 : 0;
    });
    EXPECT_EQ(outcome, 0);
    EXPECT_FALSE(QFileInfo::exists(NVMeShadow::internalPath(LegalAcceptance::basename())));
}

TEST_F(LegalWindowTest, SaysWhatChangedAndWhatIsMissing) {
    ASSERT_TRUE(LegalAcceptance(documents()).recordAcceptance());
    test::writeText(documents("PRIVACY-POLICY.md"), "# Privacy Policy\n\nVersion: 1.1\n");
    ASSERT_TRUE(QFile::remove(documents("DISCLAIMER.md")));
    LegalAcceptance legal(documents());
    ui::LegalAcceptanceWindow window(legal);
    show(&window);
    EXPECT_TRUE(test::showsLabel(&window, "Updated since your last acceptance: Privacy Policy"));

    auto *tabs = test::control<QTabWidget>(&window, "Legal documents");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2), "Disclaimer");
    auto *open = test::control<QPushButton>(&window, "Open document in browser");
    auto *save = test::control<QPushButton>(&window, "Save a copy…");
    EXPECT_TRUE(open->isEnabled());
    tabs->setCurrentIndex(2);
    EXPECT_TRUE(test::showsLabel(&window, "Quindle is missing the Disclaimer document."));
    EXPECT_TRUE(test::showsLabel(&window, "This is a build error. Quindle cannot proceed without "
                                          "all three required documents available. Please "
                                          "reinstall from the official source."));
    EXPECT_FALSE(open->isEnabled());
    EXPECT_FALSE(save->isEnabled());
}

TEST_F(LegalWindowTest, SavesACopyOfTheDocumentShown) {
    LegalAcceptance legal(documents());
    ui::LegalAcceptanceWindow window(legal);
    show(&window);
    test::control<QTabWidget>(&window, "Legal documents")->setCurrentIndex(1);
    test::control<QPushButton>(&window, "Save a copy…")->click();
    QFileDialog *dialog = window.saveDialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible()); // open, not a nested event loop: we are back here
    ASSERT_EQ(dialog->selectedFiles().size(), 1);
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().first()).fileName(), "PRIVACY-POLICY.md");

    const QString copy = inHome("Documents/privacy.md");
    QDir().mkpath(inHome("Documents"));
    dialog->selectFile(copy);
    static_cast<QDialog *>(dialog)->accept(); // as the dialog's Save button does
    EXPECT_EQ(test::readText(copy), test::readText(documents("PRIVACY-POLICY.md")));
    EXPECT_TRUE(test::showsLabel(&window, "Saved a copy as " + copy + "."));
}

TEST_F(LegalWindowTest, OnlyWebLinksLeaveTheText) {
    test::FakeExecutables fakes;
    fakes.add("xdg-open", "echo \"$1\" >>\"$HOME/opened\"");
    fakes.putFirstOnPath();
    ui::MarkdownView view;
    view.setMarkdown("# Terms\n\nSee [the disclaimer](DISCLAIMER.md), [a script](file:///bin/sh) "
                     "and [our site](https://example.com/terms).\n");
    const QString shown = view.toPlainText();
    for (const char *link :
         {"DISCLAIMER.md", "file:///bin/sh", "javascript:alert(1)", "https://example.com/terms"})
        Q_EMIT view.anchorClicked(QUrl(QString::fromLatin1(link)));
    // The opener's shell makes the file before it writes the line.
    ASSERT_TRUE(test::waitUntil([&] { return test::readText(inHome("opened")).endsWith('\n'); }));
    EXPECT_EQ(test::readText(inHome("opened")), "https://example.com/terms\n");
    EXPECT_EQ(view.toPlainText(), shown);
    EXPECT_TRUE(view.isReadOnly());
}
