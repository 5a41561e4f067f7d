#include "WindowFixture.h"

#include "support/WaitUntil.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace quindle::test {

void WindowTest::fakeService(const QByteArray &body) {
    const QString script = inHome(".quindle/quindle.sh");
    writeText(script, "#!/bin/bash\necho \"$*\" >>\"$HOME/calls\"\n"
                      "while [ -e \"$HOME/hold-$1\" ]; do sleep 0.02; done\n" +
                          body + "\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
}

QStringList WindowTest::calls() const {
    return QString::fromUtf8(readText(inHome("calls"))).split(u'\n', Qt::SkipEmptyParts);
}

void WindowTest::hold(const QString &subCommand) {
    writeText(inHome(QStringLiteral("hold-") + subCommand), QByteArray());
}

void WindowTest::release(const QString &subCommand) {
    QFile::remove(inHome(QStringLiteral("hold-") + subCommand));
}

void WindowTest::showAt(QWidget *window, QSize size) {
    window->resize(size);
    window->show();
}

bool showsLabel(QWidget *root, const QString &text) {
    // Labels a view adds to a shown window appear with a queued event.
    return waitUntil([&] { return showsNow(root, text); }, 5000);
}

bool showsNow(QWidget *root, const QString &text) {
    for (QLabel *label : root->findChildren<QLabel *>()) {
        if (label->isVisibleTo(root) && label->text() == text)
            return true;
    }
    return false;
}

void expectNamedControls(QWidget *root) {
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        const bool control =
            qobject_cast<QAbstractButton *>(widget) || qobject_cast<QComboBox *>(widget) ||
            qobject_cast<QAbstractItemView *>(widget) || qobject_cast<QPlainTextEdit *>(widget) ||
            qobject_cast<QProgressBar *>(widget);
        // Parts Qt builds inside a control (a combo box's popup list) are named by it.
        bool inner = widget->objectName().startsWith("qt_");
        for (QWidget *up = widget->parentWidget(); up && up != root; up = up->parentWidget())
            inner = inner || qobject_cast<QComboBox *>(up);
        if (control && !inner) {
            EXPECT_FALSE(widget->accessibleName().isEmpty())
                << widget->metaObject()->className() << " without a name in "
                << root->metaObject()->className();
        }
    }
}

} // namespace quindle::test
