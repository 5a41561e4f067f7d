#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quindle {
class CloudRoots;
class CloudUsageProbe;
class ServiceRun;
} // namespace quindle

namespace quindle::ui {

// Each cloud folder with what this computer keeps of it, and Optimise… to drop those copies.
class CloudFoldersPanel : public QWidget {
    Q_OBJECT
public:
    // `openProgress` brings the eviction's window forward once it has started.
    CloudFoldersPanel(CloudRoots &roots, CloudUsageProbe &usage, ServiceRun &optimisation,
                      std::function<void()> openProgress, QWidget *parent = nullptr);

    static QString confirmationText(const QString &path);

private:
    void rebuild();
    void askToOptimise(const QString &path);
    void measure();

    CloudRoots &m_roots;
    CloudUsageProbe &m_usage;
    ServiceRun &m_optimisation;
    std::function<void()> m_openProgress;
    QVBoxLayout *m_rows = nullptr;
    QLabel *m_none = nullptr;
    QPushButton *m_recalculate = nullptr;
};

} // namespace quindle::ui
