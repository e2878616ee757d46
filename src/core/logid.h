#pragma once

#include <QtGlobal>
#include <algorithm>
#include <compare>

// A log's name from the moment it starts until the server has its message: its row, its kept
// record, its fixes and its message find one another by it, wherever they are.
//
// New names are drawn from the clock, in milliseconds since the epoch, so that a later run's
// logs are named after every earlier run's; within a run each name is past the one before, even
// should the clock go back or many rows come in the same millisecond. Rows and waiting messages
// kept before logs had names are named below any the clock gives, so the two never meet.
struct LogId
{
    quint64 value = 0; // 0: no log

    // An older history's rows take their own key as their name; its waiting messages
    // OlderWaiting plus theirs, and those set aside OlderSetAside plus theirs.
    static constexpr quint64 OlderWaiting = quint64(1) << 38;
    static constexpr quint64 OlderSetAside = quint64(1) << 39;
    // Where the clock's names begin, whatever the clock says (2004 in milliseconds).
    static constexpr quint64 FirstNew = quint64(1) << 40;

    explicit operator bool() const { return value != 0; }
    friend auto operator<=>(LogId, LogId) = default;

    // A new log's name, the clock saying nowMs.
    static LogId next(qint64 nowMs)
    {
        last() = std::max(last() + 1, quint64(std::max<qint64>(nowMs, 0)));
        return {last()};
    }
    // A name given already, in this run or an earlier one: the next is past it.
    static void seen(LogId used) { last() = std::max(last(), used.value); }

private:
    static quint64 &last()
    {
        static quint64 given = FirstNew;
        return given;
    }
};
