#pragma once

#include <QWidget>

class CurlFunctions;
class QProgressBar;
class QPushButton;
class QTableView;
class ResultsList;

// A first window: the results list and a "Log Now (Test)" button, so that a real lookup can
// be seen landing in the table.
class DemoWindow : public QWidget
{
    Q_OBJECT

public:
    DemoWindow(ResultsList *results, CurlFunctions *lookup, QWidget *parent = nullptr);

private:
    void PushButton9_Click();

    ResultsList *m_results;
    CurlFunctions *m_lookup;
    QTableView *m_list;
    QPushButton *m_logNow;
    QPushButton *m_clear;
    QProgressBar *m_progress;
};
