#include "ui/LogWindow.h"
#include "WindowFixture.h"
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

QByteArray numberedLines(int first, int last) {
    QByteArray text;
    for (int i = first; i <= last; ++i)
        text += "line " + QByteArray::number(i) + '\n';
    return text;
}

class LogWindowTest : public test::WindowTest {
protected:
    void open() {
        window = std::make_unique<LogWindow>();
        lines = test::control<QComboBox>(window.get(), QStringLiteral("Lines"));
        view = test::control<QPlainTextEdit>(window.get(), QStringLiteral("Service log"));
        autoScroll = test::control<QCheckBox>(window.get(), QStringLiteral("Auto-scroll"));
        showAt(window.get(), ui::specFor(ui::WindowKind::Log).size);
    }
    QString firstLine() const { return view->toPlainText().section(QLatin1Char('\n'), 0, 0); }

    std::unique_ptr<LogWindow> window;
    QComboBox *lines = nullptr;
    QPlainTextEdit *view = nullptr;
    QCheckBox *autoScroll = nullptr;
};

} // namespace

TEST(LogExcerpt, KeepsEmptyLinesAndTakesTheWholeOfAShortLog) {
    const QString path = QStringLiteral("/x/quindle.log");
    EXPECT_EQ(LogWindow::excerpt(QByteArray("a\n\nb"), path, 2), QStringLiteral("\nb"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray("a\n\nb"), path, 3), QStringLiteral("a\n\nb"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray("a\n\nb"), path, 500), QStringLiteral("a\n\nb"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray("\nb"), path, 1), QStringLiteral("b"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray("\nb"), path, 2), QStringLiteral("\nb"));
    // A log ends with a line feed: its last piece is the empty line after it.
    EXPECT_EQ(LogWindow::excerpt(QByteArray("a\nb\n"), path, 2), QStringLiteral("b\n"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray("ü\n€"), path, 1), QStringLiteral("€"));
    EXPECT_EQ(LogWindow::excerpt(QByteArray(), path, 100), QStringLiteral("(log empty)"));
    EXPECT_EQ(LogWindow::excerpt(std::nullopt, path, 100),
              QStringLiteral("(log not found at /x/quindle.log)"));
}

TEST_F(LogWindowTest, ShowsTheChosenNumberOfLastLines) {
    test::writeText(paths::serviceLog(), numberedLines(1, 2500));
    open();
    EXPECT_EQ(lines->currentText(), QStringLiteral("500"));
    ASSERT_TRUE(test::waitUntil([&] { return firstLine() == QStringLiteral("line 2002"); }))
        << firstLine().toStdString();
    EXPECT_EQ(view->blockCount(), 500);

    lines->setCurrentIndex(lines->findText(QStringLiteral("100")));
    EXPECT_EQ(firstLine(), QStringLiteral("line 2402"));
    lines->setCurrentIndex(lines->findText(QStringLiteral("2000")));
    EXPECT_EQ(firstLine(), QStringLiteral("line 502"));
    EXPECT_EQ(view->blockCount(), 2000);
    test::expectNamedControls(window.get());
}

TEST_F(LogWindowTest, SaysWhenTheLogIsMissingOrEmptyAndFollowsItsGrowth) {
    open();
    const QString missing = QStringLiteral("(log not found at ") + paths::serviceLog() + ")";
    ASSERT_TRUE(test::waitUntil([&] { return view->toPlainText() == missing; }))
        << view->toPlainText().toStdString();

    test::writeText(paths::serviceLog(), QByteArray());
    ASSERT_TRUE(test::waitUntil([&] { return view->toPlainText() == "(log empty)"; }, 8000));

    test::writeText(paths::serviceLog(), numberedLines(1, 300));
    ASSERT_TRUE(test::waitUntil([&] { return firstLine() == "line 1"; }, 8000));
    QScrollBar *bar = view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // Without auto-scroll the place a person scrolled to stays while the log grows.
    autoScroll->setChecked(false);
    const int middle = bar->maximum() / 2;
    bar->setValue(middle);
    test::writeText(paths::serviceLog(), numberedLines(1, 400));
    ASSERT_TRUE(test::waitUntil([&] { return view->blockCount() == 401; }, 8000));
    EXPECT_EQ(bar->value(), middle);

    autoScroll->setChecked(true);
    EXPECT_EQ(bar->value(), bar->maximum());
}
