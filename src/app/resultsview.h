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
    ResultsList *results() const { return m_results; }

Q_SIGNALS:
    // The user asked for the menu on the selected rows, to open at this point of the screen:
    // a right click, the Menu key or Shift+F10.
    void menuAsked(QPoint global);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void keyMenu();

    ResultsList *m_results;
};
