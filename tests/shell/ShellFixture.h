#pragma once

#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "support/FakeServiceManager.h"
#include "support/FakeVolumeWatcher.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle::test {

// A status model over a temporary home whose service script only records the sub-commands it
// is asked to run ("dry-run" waits until the test lets it finish), and a real, idle mover.
class ShellTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        writeText(paths::serviceScript(), "#!/bin/bash\n"
                                          "echo \"$*\" >> \"$HOME/ran.txt\"\n"
                                          "if [[ $1 == dry-run ]]; then\n"
                                          "  while [[ ! -e $HOME/release ]]; do sleep 0.02; done\n"
                                          "fi\n"
                                          "echo \"did $*\"\n");
        manager = std::make_shared<FakeServiceManager>(
            inHome(".config/systemd/user/quindle-service.service"));
        manager->loadedFrom = 0;
        // By value: a refresh still running on a worker may outlive this fixture.
        model = std::make_unique<StatusModel>([fake = manager] { return fake; });
        settings = std::make_unique<MoverSettings>();
        mover = std::make_unique<LocalFolderMover>(log, *settings, &volumes);
        EXPECT_TRUE(test::waitUntil([&] { return !mover->isRecovering(); }));
    }

    void setStatus(const QJsonObject &overrides) {
        QJsonObject status{{"timestamp", "2026-12-06T10:00:00Z"},
                           {"version", 1},
                           {"nvme_path", inHome("drive")},
                           {"mounted", true},
                           {"marker_ok", true},
                           {"nvme_free_gb", 700},
                           {"nvme_total_gb", 1000},
                           {"internal_free_gb", 120},
                           {"internal_total_gb", 500},
                           {"idle_secs", 75},
                           {"quiet_hours", false},
                           {"paused", false},
                           {"auto_enabled", true},
                           {"low_space_warn_gb", 40},
                           {"low_space_critical_gb", 15},
                           {"auto_relocate_hour", 3},
                           {"quiet_hours_blocked", "9-19"},
                           {"rule_count", 2},
                           {"app_cache_path_count", 0}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            status.insert(it.key(), it.value());
        writeText(paths::statusFile(), QJsonDocument(status).toJson());
        bool done = false;
        model->refreshAsync().then(model.get(), [&] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
    }

    QStringList ran() const {
        return QString::fromUtf8(readText(inHome("ran.txt"))).split(u'\n', Qt::SkipEmptyParts);
    }

    std::shared_ptr<FakeServiceManager> manager;
    std::unique_ptr<StatusModel> model;
    MoverLog log;
    std::unique_ptr<MoverSettings> settings;
    FakeVolumeWatcher volumes;
    std::unique_ptr<LocalFolderMover> mover;
};

} // namespace quindle::test
