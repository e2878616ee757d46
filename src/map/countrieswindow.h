#pragma once

#include "map/countrydays.h"

#include <QWidget>

class CountryDaysJob;
class QComboBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;
class ResultsList;

// The days the laptop spent in each country, for a tax return, a visa or an expense report:
// a table of countries with their number of days, first and last day and every day, of all
// rows or of the ticked ones, kept up to date while the window is open, and copied as plain
// text for a mail.
class CountriesWindow : public QWidget
{
    Q_OBJECT

public:
    enum Column { Country, Days, LeftOut, FirstDay, LastDay, Dates, ColumnCount };

    explicit CountriesWindow(const ResultsList *list, QWidget *parent = nullptr);

    // Opens the window, or brings it to the front when it is open already.
    void showAndRaise();
    // What Copy puts on the clipboard: the count the table shows.
    QString copyText() const;
    // Whether the table shows the count of the rows as they are now.
    bool isUpToDate() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showResult(const CountryDaysResult &result);
    void copy();
    CountedRows chosenRows() const;
    QString countingText() const;

    CountryDaysJob *m_job;
    QComboBox *m_rows;
    QTreeView *m_table;
    QStandardItemModel *m_model;
    QLabel *m_status;
    QPushButton *m_copy;
    QPushButton *m_close;
    // Copy was pressed while a change was being counted: the count that includes it is copied.
    bool m_copyPending = false;
};
