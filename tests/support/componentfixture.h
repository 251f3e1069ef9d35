#pragma once

#include "host/scriptedhostlink.h"
#include "platformrecorder.h"
#include "qtprinters.h"
#include "recordingutils.h"

#include <zelvar/patlookup.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

namespace zelvar::test {

// A component initialised on this thread with a scripted server and the recording utilities;
// message boxes and beeps are captured. Reports and beeps share one event log. The user's
// data folder (where downloads go) is a fresh one for each test.
class ComponentFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedUserData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", userData.path().toUtf8());
        utils->eventLog = &platform.events;
        lookup.InitPatLookup(server, utils);
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedUserData); }

    QTemporaryDir userData;
    QByteArray savedUserData;

    std::shared_ptr<host::ScriptedHostLink> server = std::make_shared<host::ScriptedHostLink>();
    std::shared_ptr<RecordingUtils> utils = std::make_shared<RecordingUtils>();
    PlatformRecorder platform;
    PatLookup lookup;
};

} // namespace zelvar::test
