#pragma once

#include "platform/SleepInhibitor.h"

#include <QStringList>

namespace quindle::test {

// Holds nothing back: remembers whether sleep is held, and why it was first asked to be.
class RecordingInhibitor : public platform::SleepInhibitor {
public:
    void acquire(const QString &reason) override {
        if (!held)
            reasons << reason;
        held = true;
    }
    void release() override { held = false; }
    bool isHeld() const override { return held; }
    bool held = false;
    QStringList reasons;
};

} // namespace quindle::test
