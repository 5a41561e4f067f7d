#pragma once

#include "mover/MoverFixture.h"
#include "support/FixedDriveReport.h"
#include "tier/PairHistory.h"
#include "tier/PairingModel.h"
#include "tier/TierOperations.h"

#include <QDir>
#include <QList>

namespace quindle::test {

// The Tier window's models over a real mover whose drive is a spare folder.
class TierTest : public MoverTest {
protected:
    void SetUp() override {
        MoverTest::SetUp();
        history = std::make_unique<PairHistory>();
        driveReport.path = drive;
        pairing = std::make_unique<PairingModel>(*history, driveReport);
        makeMover();
        operations = std::make_unique<TierOperations>(*pairing, *mover);
        const auto take = [this](const Toast &toast) { toasts << toast; };
        QObject::connect(pairing.get(), &PairingModel::toastPosted, take);
        QObject::connect(operations.get(), &TierOperations::toastPosted, take);
        QObject::connect(pairing.get(), &PairingModel::reloadRequested,
                         [this](Side side) { reloads << side; });
    }
    void TearDown() override {
        operations.reset();
        pairing.reset();
        history.reset();
        MoverTest::TearDown();
    }

    QString dir(const QString &path) {
        QDir().mkpath(path);
        return path;
    }
    QString lastToast() const { return toasts.isEmpty() ? QString() : toasts.last().text; }

    FixedDriveReport driveReport;
    std::unique_ptr<PairHistory> history;
    std::unique_ptr<PairingModel> pairing;
    std::unique_ptr<TierOperations> operations;
    QList<Toast> toasts;
    QList<Side> reloads;
};

} // namespace quindle::test
