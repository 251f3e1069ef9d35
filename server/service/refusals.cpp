#include "refusals.h"

namespace zelvar::service {
namespace {

constexpr auto kMinute = std::chrono::minutes(1);

AccessEntry refusedLine(const std::string& address, const QString& why, int more)
{
    QString detail = QString::fromStdString(address) + QStringLiteral(" sent ") + why;
    if (more > 0)
        detail += QStringLiteral(", %1 more times in that minute").arg(more);
    return {QDateTime::currentDateTimeUtc(), QStringLiteral("-"), QStringLiteral("REFUSED"), {}, detail, {}};
}

} // namespace

bool Refusals::refuse(const std::string& address, const QString& why, int& retryAfter, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    Address& a = m_addresses[address];
    note(address, why, now);
    if (now < a.waitUntil) {
        retryAfter = int(std::chrono::ceil<std::chrono::seconds>(a.waitUntil - now).count());
        return false;
    }
    if (now - a.minuteStart >= kMinute) {
        a.minuteStart = now;
        a.inMinute = 0;
    }
    if (++a.inMinute <= kAllowedPerMinute)
        return true;
    a.strikes = std::min(a.strikes + 1, 7);
    const auto wait = std::min<std::chrono::seconds>(std::chrono::seconds(5) * (1 << (a.strikes - 1)), std::chrono::minutes(5));
    a.waitUntil = now + wait;
    a.inMinute = 0;
    retryAfter = int(wait.count());
    return false;
}

void Refusals::note(const std::string& address, const QString& why, Clock::time_point now)
{
    const std::string key = address + '\t' + why.toStdString();
    const auto found = m_logged.find(key);
    if (found != m_logged.end() && now - found->second.minuteStart < kMinute) {
        ++found->second.more;
        return;
    }
    if (found != m_logged.end() && found->second.more > 0)
        m_lines.append(refusedLine(address, why, found->second.more));
    m_logged[key] = {now, 0};
    m_lines.append(refusedLine(address, why, 0));
}

QList<AccessEntry> Refusals::takeLines(bool all, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_logged.begin(); it != m_logged.end();) {
        if (!all && now - it->second.minuteStart < kMinute) {
            ++it;
            continue;
        }
        if (it->second.more > 0) {
            const qsizetype tab = qsizetype(it->first.find('\t'));
            m_lines.append(refusedLine(it->first.substr(0, size_t(tab)), QString::fromStdString(it->first.substr(size_t(tab) + 1)),
                                       it->second.more));
        }
        it = m_logged.erase(it);
    }
    // Addresses that are neither counting nor waiting are forgotten.
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        const bool quiet = now - it->second.minuteStart >= kMinute && now >= it->second.waitUntil
            && now - it->second.waitUntil >= std::chrono::minutes(10);
        it = quiet ? m_addresses.erase(it) : std::next(it);
    }
    return std::exchange(m_lines, {});
}

} // namespace zelvar::service
