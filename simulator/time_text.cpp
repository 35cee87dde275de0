// Calendar arithmetic for device file times.
#include "simulator/time_text.h"

#include <cstdio>

namespace simtool {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t DaysTo1970 = 134774;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Reads exactly n digits at text[at].
bool Digits(const std::string& text, std::size_t at, std::size_t n, unsigned& value) {
    if (at + n > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

} // namespace

bool ParseIsoTime(const std::string& text, sim::Ticks& ticks) {
    unsigned year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        text[10] != 'T' || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second)) {
        return false;
    }
    std::size_t at = 19;
    sim::Ticks fraction = 0;
    if (text[at] == '.') {
        std::size_t digits = 0;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
            fraction = fraction * 10 + static_cast<sim::Ticks>(text[at] - '0');
        }
        if (digits == 0 || digits > 7) {
            return false;
        }
        for (; digits < 7; ++digits) {
            fraction *= 10;
        }
    }
    if (at + 1 != text.size() || text[at] != 'Z') {
        return false;
    }
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    std::int64_t days = DaysFromCivil(year, month, day) + DaysTo1970;
    std::int64_t seconds = days * SecondsPerDay + hour * 3600 + minute * 60 + second;
    ticks = static_cast<sim::Ticks>(seconds) * sim::TicksPerSecond + fraction;
    return true;
}

std::string FormatTime(sim::Ticks ticks) {
    std::int64_t seconds = static_cast<std::int64_t>(ticks / sim::TicksPerSecond);
    unsigned fraction = static_cast<unsigned>(ticks % sim::TicksPerSecond);
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(seconds / SecondsPerDay - DaysTo1970, year, month, day);
    std::int64_t rest = seconds % SecondsPerDay;
    char text[64];
    int n =
        std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                      static_cast<long long>(year), month, day, static_cast<long long>(rest / 3600),
                      static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    std::string out(text, static_cast<std::size_t>(n));
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%07u", fraction);
        std::string digits(text);
        digits.erase(digits.find_last_not_of('0') + 1);
        out += digits;
    }
    return out + " UTC";
}

sim::Ticks TicksFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
    std::int64_t since1601 = seconds + DaysTo1970 * SecondsPerDay;
    if (since1601 < 0) {
        return 0;
    }
    return static_cast<sim::Ticks>(since1601) * sim::TicksPerSecond +
           static_cast<sim::Ticks>(nanoseconds / 100);
}

} // namespace simtool
