#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <functional>

// Runs a long piece of work a turn of the event loop at a time, so that the window still
// repaints and takes input while a large table is exported. The work is called once per turn,
// keeps its own place between turns and returns once turnIsOver() says the turn's time is up;
// it is called again at the next turn until stop().
class SlicedJob
{
public:
    // Jobs that go through the table's rows look at the clock once per this many rows: per row,
    // reading the clock would cost more than the row.
    static constexpr int RowsPerLook = 256;

    // A turn's time, unless a job asks for its own.
    static constexpr qint64 DefaultTurnNanoseconds = 8'000'000;

    explicit SlicedJob(std::function<void()> work, qint64 turnNanoseconds = DefaultTurnNanoseconds);

    // The first turn comes at the next pass of the event loop; a running job goes on as it is.
    void start();
    // No turn follows; the work may call this from inside its own turn.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // Whether the work has used up this turn's time and should return.
    bool turnIsOver() const;

    // Goes on through the rows from `row` up to end() (asked again before each batch: the table
    // may have been cleared meanwhile), handing each batch to batch(from, to). Returns true once
    // it is at the end, false when the turn is over first; `row` is then the next row to do.
    template<typename End, typename Batch> bool throughRows(int &row, End end, Batch batch) const
    {
        for (;;) {
            const int last = end();
            if (row >= last)
                return true;
            const int stop = std::min(last, row + RowsPerLook);
            batch(row, stop);
            row = stop;
            if (turnIsOver())
                return false;
        }
    }

private:
    void turn();

    std::function<void()> m_work;
    QTimer m_timer;
    QElapsedTimer m_turn;
    qint64 m_turnNanoseconds;
};
