#pragma once

#include <QString>
#include <string_view>

// Where a log puts what it found: one row a log, its time first and then the six values the
// service told. The results list is one; the lookup knows it only by this.
class LogTable
{
public:
    static constexpr int ColumnCount = 7;
    enum Column { Time, Country, Region, City, PostalCode, Coordinates, Timezone };
    // The columns' captions, as the table and every export head them.
    static constexpr std::u16string_view Captions[ColumnCount] = {
        u"Time", u"Country", u"Region", u"City", u"Postal Code", u"Coordinates", u"Timezone",
    };

    virtual ~LogTable() = default;

    // Appends an unticked row whose Time cell is timeText and whose other cells are empty;
    // returns its row number.
    virtual int appendRow(const QString &timeText) = 0;
    virtual void setCell(int row, int column, const QString &text) = 0;
    // Why the row's log found no location; empty text: a good row.
    virtual void setFailure(int row, const QString &text) = 0;
};
