#pragma once

#include "support/TempHome.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace quindle::test {

// A temporary home with a stand-in service script, and ways to find what a window shows.
class WindowTest : public TempHomeTest {
protected:
    // Writes ~/.quindle/quindle.sh: it records each call ("sub-command arguments…" per line in
    // ~/calls), waits while ~/hold-<sub-command> exists, then runs `body` with the call's
    // arguments as "$@".
    void fakeService(const QByteArray &body);
    QStringList calls() const;
    void hold(const QString &subCommand);
    void release(const QString &subCommand);

    // Shows the window at the size the application gives it.
    static void showAt(QWidget *window, QSize size);
};

// The control with this accessible name; fails the test when there is none.
template <typename T> T *control(QWidget *root, const QString &accessibleName) {
    for (T *widget : root->findChildren<T *>()) {
        if (widget->accessibleName() == accessibleName)
            return widget;
    }
    ADD_FAILURE() << "no control named " << accessibleName.toStdString();
    return nullptr;
}

// The window shows a label with exactly this text, once the events that lay it out have run.
bool showsLabel(QWidget *root, const QString &text);
// The same without waiting, for what must not be there.
bool showsNow(QWidget *root, const QString &text);
// Every button, box, list and text view has a name for screen readers.
void expectNamedControls(QWidget *root);

} // namespace quindle::test
