#pragma once

#include <QTest>

#include <array>
#include <cstddef>

// The table of a data function: a column for each type, named in turn, then a row at a time,
// each row its name and a value for every column.
//
//     const DataTable<QString, bool> table({"text", "numeric"});
//     table.row("blanks around", " 2 ", true);
template<class... Columns> class DataTable
{
public:
    explicit DataTable(const std::array<const char *, sizeof...(Columns)> &names)
    {
        std::size_t column = 0;
        (QTest::addColumn<Columns>(names[column++]), ...);
    }

    void row(const char *name, const Columns &...values) const
    {
        (QTest::newRow(name) << ... << values);
    }
};
