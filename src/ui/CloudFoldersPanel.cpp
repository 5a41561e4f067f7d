#include "ui/CloudFoldersPanel.h"

#include "insight/CloudFolders.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "ui/Confirmation.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

CloudFoldersPanel::CloudFoldersPanel(CloudRoots &roots, CloudUsageProbe &usage,
                                     ServiceRun &optimisation, std::function<void()> openProgress,
                                     QWidget *parent)
    : QWidget(parent)
    , m_roots(roots)
    , m_usage(usage)
    , m_optimisation(optimisation)
    , m_openProgress(std::move(openProgress)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addSpacing(textHeight(this, 1));
    layout->addWidget(heading(QStringLiteral("Cloud folders"), this));
    layout->addWidget(caption(QStringLiteral("What this computer keeps of each mounted cloud "
                                             "folder. Optimise drops the downloaded copies that "
                                             "hold no unsent changes."),
                              this));
    m_none = caption(QStringLiteral("No cloud folder is mounted."), this);
    layout->addWidget(m_none);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(6);
    layout->addLayout(m_rows);
    m_recalculate = new QPushButton(QStringLiteral("Recalculate per-provider on-disk usage"), this);
    name(m_recalculate, m_recalculate->text());
    dimWhenDisabled(m_recalculate);
    connect(m_recalculate, &QPushButton::clicked, this, &CloudFoldersPanel::measure);
    layout->addWidget(m_recalculate, 0, Qt::AlignLeft);

    connect(&m_roots, &CloudRoots::changed, this, [this] {
        rebuild();
        measure();
    });
    connect(&m_usage, &CloudUsageProbe::changed, this, &CloudFoldersPanel::rebuild);
    connect(&m_optimisation, &ServiceRun::finished, this, &CloudFoldersPanel::measure);
    rebuild();
}

QString CloudFoldersPanel::confirmationText(const QString &path) {
    return QStringLiteral("Quindle will walk ") + path +
           QStringLiteral(" and drop every downloaded copy of the cloud folder that holds no "
                          "unsent changes. Files remain in the cloud and will re-download on "
                          "demand when you open them.\n\nThe walk can take a few minutes on a "
                          "large tree. Cancel-able from the progress window.");
}

void CloudFoldersPanel::measure() {
    QStringList paths;
    for (const CloudRoot &root : m_roots.roots())
        paths << root.path;
    if (!paths.isEmpty())
        m_usage.refresh(paths);
}

void CloudFoldersPanel::rebuild() {
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<CloudRoot> &roots = m_roots.roots();
    m_none->setVisible(roots.isEmpty());
    m_recalculate->setVisible(!roots.isEmpty());
    m_recalculate->setEnabled(!m_usage.isRefreshing());
    for (const CloudRoot &root : roots) {
        QFrame *row = card(this);
        auto *line = new QHBoxLayout(row);
        line->setContentsMargins(10, 6, 10, 6);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto *label = new ElidedLabel(Qt::ElideMiddle, row);
        label->setFullText(root.label);
        texts->addWidget(label);
        auto *path = new ElidedLabel(Qt::ElideMiddle, row);
        path->setFullText(root.path);
        path->setForegroundRole(QPalette::PlaceholderText);
        texts->addWidget(path);
        line->addLayout(texts, 1);
        const auto size = m_usage.sizesByPath().constFind(root.path);
        auto *usage = new QLabel(row);
        usage->setText(size != m_usage.sizesByPath().cend()
                           ? scanSizeText(*size) + QStringLiteral(" on this computer")
                       : m_usage.isRefreshing() ? QStringLiteral("Measuring…")
                                                : QStringLiteral("Size unknown"));
        name(usage, root.label + QStringLiteral(" on this computer"));
        line->addWidget(usage);
        auto *optimise = new QPushButton(QStringLiteral("Optimise…"), row);
        name(optimise, QStringLiteral("Optimise ") + root.label,
             QStringLiteral("Drop the local copies of this cloud folder's unchanged files"));
        dimWhenDisabled(optimise);
        optimise->setEnabled(!m_optimisation.isRunning());
        connect(optimise, &QPushButton::clicked, this,
                [this, path = root.path] { askToOptimise(path); });
        line->addWidget(optimise);
        m_rows->addWidget(row);
    }
}

void CloudFoldersPanel::askToOptimise(const QString &path) {
    openConfirmation(this,
                     {.windowTitle = QStringLiteral("Optimise the cloud folder locally?"),
                      .question = QStringLiteral("Optimise the cloud folder locally?"),
                      .details = confirmationText(path),
                      .confirmLabel = QStringLiteral("Optimise"),
                      .confirmHint = {},
                      .destructive = false},
                     [this, path](bool confirmed) {
                         if (!confirmed)
                             return;
                         m_optimisation.start(path);
                         rebuild();
                         if (m_openProgress)
                             m_openProgress();
                     });
}

} // namespace quindle::ui
