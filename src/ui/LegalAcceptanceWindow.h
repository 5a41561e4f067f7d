#pragma once

#include "core/LegalDocument.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace quindle {
class LegalAcceptance;
}

namespace quindle::ui {

class DialogKeys;

// Shown at launch until the person accepts the shipped legal documents: one tab per document,
// two confirmations, then Continue, or Decline & Quit.
class LegalAcceptanceWindow : public QWidget {
    Q_OBJECT
public:
    explicit LegalAcceptanceWindow(LegalAcceptance &legal, QWidget *parent = nullptr);

    // The open "Save a copy…" dialog, if any.
    QFileDialog *saveDialog() const { return m_saveDialog; }

Q_SIGNALS:
    // Continue was clicked; the acceptance was recorded if it could be written, and a launch
    // that could not write it simply asks again next time.
    void accepted();
    void declined();

private:
    QWidget *documentPage(LegalDocument document);
    LegalDocument currentDocument() const;
    void openInBrowser();
    void saveCopy();
    void writeCopy(LegalDocument document, const QString &path);
    void rebuild();

    LegalAcceptance &m_legal;
    QLabel *m_updated = nullptr;
    QTabWidget *m_tabs = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_save = nullptr;
    QLabel *m_result = nullptr;
    QCheckBox *m_readAndAccept = nullptr;
    QCheckBox *m_notABackup = nullptr;
    QPushButton *m_decline = nullptr;
    QPushButton *m_continue = nullptr;
    DialogKeys *m_keys = nullptr;
    QPointer<QFileDialog> m_saveDialog;
};

} // namespace quindle::ui
