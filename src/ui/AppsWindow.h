#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QVBoxLayout;

namespace quindle {
class AppsWindowModel;
struct AppEntry;
struct MovedApp;
} // namespace quindle

namespace quindle::ui {

// The apps in the apps roots with their verdicts, the moves under way and the apps on the NVMe.
// A thin view: every decision is the model's.
class AppsWindow : public QWidget {
    Q_OBJECT
public:
    explicit AppsWindow(AppsWindowModel &model, QWidget *parent = nullptr);

Q_SIGNALS:
    // "Apps roots…" was chosen; the owner edits the list and rescans.
    void appsRootsRequested();

private:
    QWidget *buildAvailablePage();
    QWidget *buildMovedPage();
    QWidget *appRow(const AppEntry &entry);
    QWidget *movedRow(const MovedApp &app);
    void present();
    void presentAvailable();
    void presentJobs();
    void presentMoved();

    AppsWindowModel &m_model;
    QTabBar *m_tabs = nullptr;
    QStackedWidget *m_pages = nullptr;
    QComboBox *m_olderThan = nullptr;
    QCheckBox *m_hideRunning = nullptr;
    QWidget *m_banner = nullptr;
    QLabel *m_bannerText = nullptr;
    QLabel *m_scanning = nullptr;
    QVBoxLayout *m_rows = nullptr;
    QVBoxLayout *m_jobRows = nullptr;
    QWidget *m_jobs = nullptr;
    QLabel *m_footer = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_move = nullptr;
    QLabel *m_movedSummary = nullptr;
    QVBoxLayout *m_movedRows = nullptr;
};

} // namespace quindle::ui
