#include "ui/LogWindow.h"
#include "WindowFixture.h"
#include "core/ServiceLogModel.h"
#include "core/StatePaths.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QScrollBar>

using namespace quindle;
using ui::LogWindow;

namespace {

QByteArray numberedLines(int last) {
    QByteArray text;
    for (int i = 1; i <= last; ++i)
        text += "line " + QByteArray::number(i) + '\n';
    return text;
}

} // namespace

class LogWindowTest : public test::WindowTest {};

TEST_F(LogWindowTest, ShowsWhereTheLogWasLookedForThenTheChosenNumberOfLastLinesAndKeepsAPlace) {
    ServiceLogModel model;
    LogWindow window(model);
    auto *lines = test::control<QComboBox>(&window, "Lines");
    auto *view = test::control<QPlainTextEdit>(&window, "Service log");
    auto *autoScroll = test::control<QCheckBox>(&window, "Auto-scroll");
    showAt(&window, ui::specFor(ui::WindowKind::Log).size);
    const auto firstLine = [&] { return view->toPlainText().section('\n', 0, 0); };
    const QString missing = "(log not found at " + paths::serviceLog() + ")";
    ASSERT_TRUE(test::waitUntil([&] { return view->toPlainText() == missing; }))
        << view->toPlainText().toStdString();

    test::writeText(paths::serviceLog(), numberedLines(2500));
    ASSERT_TRUE(test::waitUntil([&] { return firstLine() == "line 2002"; }, 8000))
        << firstLine().toStdString();
    EXPECT_EQ(lines->currentText(), "500");
    EXPECT_EQ(view->blockCount(), 500);
    lines->setCurrentIndex(lines->findText("100"));
    EXPECT_EQ(firstLine(), "line 2402");
    lines->setCurrentIndex(lines->findText("2000"));
    EXPECT_EQ(firstLine(), "line 502");
    EXPECT_EQ(view->blockCount(), 2000);
    QScrollBar *bar = view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // Without auto-scroll the place a person scrolled to stays while the log grows.
    autoScroll->setChecked(false);
    const int middle = bar->maximum() / 2;
    bar->setValue(middle);
    test::writeText(paths::serviceLog(), numberedLines(2600));
    ASSERT_TRUE(test::waitUntil([&] { return firstLine() == "line 602"; }, 8000));
    EXPECT_EQ(bar->value(), middle);
    autoScroll->setChecked(true);
    EXPECT_EQ(bar->value(), bar->maximum());
    test::expectNamedControls(&window);
}
