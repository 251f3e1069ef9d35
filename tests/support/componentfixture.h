#pragma once

#include "host/scriptedhostlink.h"
#include "platformrecorder.h"
#include "qtprinters.h"
#include "recordingutils.h"

#include <zelvar/patlookup.h>

#include <gtest/gtest.h>

#include <memory>

namespace zelvar::test {

// A component initialised on this thread with a scripted server and the recording utilities;
// message boxes and beeps are captured. Reports and beeps share one event log.
class ComponentFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        utils->eventLog = &platform.events;
        lookup.InitPatLookup(server, utils);
    }

    std::shared_ptr<host::ScriptedHostLink> server = std::make_shared<host::ScriptedHostLink>();
    std::shared_ptr<RecordingUtils> utils = std::make_shared<RecordingUtils>();
    PlatformRecorder platform;
    PatLookup lookup;
};

} // namespace zelvar::test
