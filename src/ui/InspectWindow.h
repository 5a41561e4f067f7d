#pragma once

#include <QWidget>

class QFormLayout;
class QFrame;
class QLabel;
class QPushButton;

namespace quindle {
class NVMeInspector;
}

namespace quindle::ui {

class DialogKeys;

// The NVMe inspector: what the service reports about the configured drive, and its validation.
// Reads the drive the first time it is shown.
class InspectWindow : public QWidget {
    Q_OBJECT
public:
    explicit InspectWindow(NVMeInspector &inspector, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void rebuildRows();

    NVMeInspector &m_inspector;
    bool m_readOnce = false;
    QWidget *m_header = nullptr;
    QLabel *m_icon = nullptr;
    QLabel *m_headline = nullptr;
    QLabel *m_subtitle = nullptr;
    QLabel *m_placeholder = nullptr;
    QFrame *m_details = nullptr;
    QFormLayout *m_rows = nullptr;
    QFrame *m_validation = nullptr;
    QLabel *m_validationTitle = nullptr;
    QLabel *m_validationText = nullptr;
    QLabel *m_busy = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_validate = nullptr;
    DialogKeys *m_keys = nullptr;
};

} // namespace quindle::ui
