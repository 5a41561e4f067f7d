#pragma once

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;

namespace quindle {
class ServiceLogModel;
}

namespace quindle::ui {

// The service's log, read again every two seconds while the window is shown.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultLines = 500;
    static QList<int> lineChoices(); // 100, 500, 2000

    explicit LogWindow(ServiceLogModel &model, QWidget *parent = nullptr);

Q_SIGNALS:
    // A read finished and the view shows it.
    void refreshed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void present();
    void scrollToEnd();

    ServiceLogModel &m_model;
    QComboBox *m_lines = nullptr;
    QCheckBox *m_autoScroll = nullptr;
    QPlainTextEdit *m_view = nullptr;
};

} // namespace quindle::ui
