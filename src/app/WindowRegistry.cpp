#include "app/WindowRegistry.h"

#include "ui/TrayIconArt.h"

#include <QGuiApplication>
#include <QScreen>

namespace quindle {

QWidget *WindowRegistry::open(ui::WindowKind kind) {
    if (QWidget *existing = m_windows.value(kind)) {
        existing->showNormal();
        existing->raise();
        existing->activateWindow();
        return existing;
    }
    const auto factory = m_factories.constFind(kind);
    if (factory == m_factories.cend())
        return nullptr;
    QWidget *window = (*factory)();
    const ui::WindowSpec spec = ui::specFor(kind);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(spec.title);
    window->setWindowIcon(ui::applicationIcon());
    window->addActions(m_windowActions);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const QSize size = ui::openingSize(kind, window->font(), available.size());
    if (spec.resizable) {
        window->setWindowFlags(Qt::Window);
        window->resize(size);
    } else {
        // Fixed windows have a title and a close button only.
        window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowCloseButtonHint);
        window->setFixedSize(size);
    }
    if (screen)
        window->move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    connect(window, &QObject::destroyed, this, [this, kind] {
        m_windows.remove(kind);
        Q_EMIT closed(kind);
    });
    m_windows.insert(kind, window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void WindowRegistry::close(ui::WindowKind kind) {
    if (QWidget *window = m_windows.value(kind)) {
        // Closed by the application, not the user: nobody needs to hear about it.
        window->disconnect(this);
        m_windows.remove(kind);
        window->close();
    }
}

} // namespace quindle
