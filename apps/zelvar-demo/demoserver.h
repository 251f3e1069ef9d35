#pragma once

#include "host/scriptedhostlink.h"

#include <memory>

namespace zelvar::demo {

// A small practice server for the demo: a handful of patients answered in the reply formats
// the component reads, until the embedded practice database takes its place.
std::shared_ptr<host::ScriptedHostLink> makeDemoServer();

} // namespace zelvar::demo
