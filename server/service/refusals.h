#pragma once

#include "practice/servicestore.h"

#include <QString>

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zelvar::service {

using practice::AccessEntry;
using practice::ServiceStore;

// Requests refused for their token cost the one who sends them, not the practice:
// - an address refused more than a few times a minute is answered "try again later" for a
//   time that grows with each time it does so again (5 s, 10 s, ... up to 5 minutes);
// - the access log and the server's output get one line per address, reason and minute: the
//   first refusal at once, the rest as a count when the minute is over.
// Called from the thread that reads requests (refuse) and the housekeeper (takeLines).
class Refusals
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kAllowedPerMinute = 20;

    // Counts a refusal. False when the address must wait, with the seconds to wait.
    bool refuse(const std::string& address, const QString& why, int& retryAfter, Clock::time_point now = Clock::now());

    // The lines to log now (each also for the server's output): new refusals, and the counts
    // of minutes that are over. With `all`, every count, as when the server stops.
    QList<AccessEntry> takeLines(bool all = false, Clock::time_point now = Clock::now());

private:
    struct Address
    {
        Clock::time_point minuteStart;
        int inMinute = 0;
        int strikes = 0;
        Clock::time_point waitUntil;
    };
    struct Logged
    {
        Clock::time_point minuteStart;
        int more = 0;
    };

    void note(const std::string& address, const QString& why, Clock::time_point now);

    std::mutex m_mutex;
    std::unordered_map<std::string, Address> m_addresses;
    std::unordered_map<std::string, Logged> m_logged;   // by address and reason
    QList<AccessEntry> m_lines;
};

} // namespace zelvar::service
