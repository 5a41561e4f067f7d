#pragma once

#include "tier/RsyncBanner.h"
#include "tier/TierFixture.h"
#include "ui/TierPane.h"
#include "ui/TierWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace quindle::test {

// The control with this accessible name inside `root` (popovers included: they are children of
// their buttons); fails the test when there is none.
template <typename T = QAbstractButton> T *named(QWidget *root, const QString &accessibleName) {
    for (T *widget : root->findChildren<T *>())
        if (widget->accessibleName() == accessibleName)
            return widget;
    ADD_FAILURE() << "no control named " << accessibleName.toStdString();
    return nullptr;
}

// The Tier window over the real models, a real mover and a spare folder as the drive.
class TierWindowTest : public TierTest {
protected:
    void TearDown() override {
        window.reset();
        banner.reset();
        TierTest::TearDown();
    }

    ui::TierWindow &open(const QString &left, const QString &right) {
        pairing->setPaths(left, right);
        banner = std::make_unique<RsyncBanner>();
        window = std::make_unique<ui::TierWindow>(*pairing, *operations, *banner, *mover, *settings,
                                                  log, *history);
        window->resize(920, 600);
        window->show();
        window->activateWindow(); // keyboard shortcuts need an active window
        EXPECT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
        EXPECT_TRUE(listed(Side::Left));
        EXPECT_TRUE(listed(Side::Right));
        return *window;
    }

    // The pane shows the entries of the folder the model says it is in.
    bool listed(Side side) {
        return waitUntil([&] { return window->pane(side)->shownFolder() == pairing->path(side); });
    }

    QTreeWidgetItem *row(Side side, const QString &name) const {
        QTreeWidget *list = window->pane(side)->listing();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == name)
                return list->topLevelItem(i);
        ADD_FAILURE() << "no row " << name.toStdString();
        return nullptr;
    }

    // Clicks a row as a person would; with Ctrl it adds to the selection.
    void click(Side side, const QString &name, Qt::KeyboardModifiers modifiers = {}) {
        QTreeWidget *list = window->pane(side)->listing();
        QTreeWidgetItem *item = row(side, name);
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(item).center());
    }

    std::unique_ptr<RsyncBanner> banner;
    std::unique_ptr<ui::TierWindow> window;
};

} // namespace quindle::test
