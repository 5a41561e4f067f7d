#pragma once

#include "ui/WindowKind.h"

#include <QAction>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace quindle {

// At most one window of each kind: opening one that exists brings it forward. A closed window
// is destroyed and made again the next time, with fresh state.
class WindowRegistry : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QWidget *()>;

    void setFactory(ui::WindowKind kind, Factory factory) {
        m_factories.insert(kind, std::move(factory));
    }
    bool canOpen(ui::WindowKind kind) const { return m_factories.contains(kind); }

    QWidget *open(ui::WindowKind kind);
    void close(ui::WindowKind kind);
    QWidget *window(ui::WindowKind kind) const { return m_windows.value(kind); }

    // Actions whose shortcuts work in every window opened from now on.
    void addWindowAction(QAction *action) { m_windowActions << action; }

Q_SIGNALS:
    // The user closed it with the title bar's close button or the registry closed it.
    void closed(ui::WindowKind kind);

private:
    QHash<ui::WindowKind, Factory> m_factories;
    QHash<ui::WindowKind, QPointer<QWidget>> m_windows;
    QList<QAction *> m_windowActions;
};

} // namespace quindle
