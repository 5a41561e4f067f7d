#include "ui/AppsRootsDialog.h"
#include "WindowFixture.h"

#include <QListWidget>
#include <QPushButton>

using namespace quindle;

class AppsRootsDialogTest : public test::WindowTest {
protected:
    void open(const QStringList &roots) {
        dialog = std::make_unique<ui::AppsRootsDialog>(
            roots, defaults,
            [this](const QStringList &chosen) -> std::optional<QString> {
                saved << chosen;
                return refusal;
            },
            [this](QWidget *, const QString &, const QString &, auto chosen) { chosen(picked); });
        list = test::control<QListWidget>(dialog.get(), "Apps roots");
        showAt(dialog.get(), {520, 360});
    }
    QPushButton *button(const QString &name) {
        return test::control<QPushButton>(dialog.get(), name);
    }

    const QStringList defaults{"/opt", "/home/sam/.local/opt"};
    QString picked;
    std::optional<QString> refusal;
    QList<QStringList> saved;
    std::unique_ptr<ui::AppsRootsDialog> dialog;
    QListWidget *list = nullptr;
};

TEST_F(AppsRootsDialogTest, EditsTheListAndSavesDefaultsAsNone) {
    open({"/srv/apps"});
    test::expectNamedControls(dialog.get());
    EXPECT_FALSE(button("Remove")->isEnabled());

    picked = "/data/tools/";
    button("Add Folder…")->click();
    button("Add Folder…")->click(); // the same folder twice is listed once
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(dialog->roots(), (QStringList{"/srv/apps", "/data/tools"}));

    list->setCurrentRow(0);
    button("Remove")->click();
    EXPECT_EQ(dialog->roots(), QStringList{"/data/tools"});

    button("Use Defaults")->click();
    EXPECT_FALSE(button("Use Defaults")->isEnabled());
    EXPECT_TRUE(dialog->roots().isEmpty()) << "the defaults are saved as no choice";
    dialog->accept();
    EXPECT_EQ(saved, QList<QStringList>{QStringList{}});
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(AppsRootsDialogTest, ARefusalOrAnEmptyListKeepsTheDialogOpen) {
    open({"/srv/apps"});
    refusal = "Could not save the apps roots to /x.";
    dialog->accept();
    EXPECT_TRUE(test::showsLabel(dialog.get(), *refusal));
    EXPECT_NE(dialog->result(), QDialog::Accepted);

    list->setCurrentRow(0);
    button("Remove")->click();
    dialog->accept();
    EXPECT_TRUE(test::showsLabel(dialog.get(), "Add at least one folder, or use the defaults."));
    EXPECT_EQ(saved.size(), 1) << "an empty list is never saved";
}
