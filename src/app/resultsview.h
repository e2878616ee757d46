#pragma once

#include <QTableView>

class ResultsList;

// The results list as the window shows it: whole rows selected, no row numbers, the column
// hint as its tooltip; the keyboard leaves it with Tab rather than moving from cell to cell.
class ResultsView : public QTableView
{
    Q_OBJECT

public:
    ResultsView(ResultsList *results, QWidget *parent = nullptr);

    // The seven columns, each 1100 twips wide to begin with.
    void setFirstColumnWidths();
    // Brings a new row into sight.
    void showRow(int row);
};
