#include "app/demowindow.h"

#include "app/errorreport.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

DemoWindow::DemoWindow(ResultsList *results, CurlFunctions *lookup, QWidget *parent)
    : QWidget(parent),
      m_results(results),
      m_lookup(lookup),
      m_list(new QTableView(this)),
      m_logNow(new QPushButton(QStringLiteral("Log Now (Test)"), this)),
      m_clear(new QPushButton(QStringLiteral("Clear Results"), this)),
      m_progress(new QProgressBar(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Trovanel"));

    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setAccessibleName(QStringLiteral("Results"));
    m_list->setModel(m_results);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->verticalHeader()->hide();
    m_list->setToolTip(
        QStringLiteral("Move | line to right and out of window to reveal full names."));

    m_logNow->setObjectName(QStringLiteral("PushButton9"));
    m_clear->setObjectName(QStringLiteral("PushButton1"));
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_progress->setTextVisible(true);
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("Progress Bar"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_logNow);
    buttons->addWidget(m_clear);
    buttons->addWidget(m_progress, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_list, 1);
    resize(1064, 381);
    setTabOrder(m_logNow, m_clear);
    setTabOrder(m_clear, m_list);
    m_logNow->setFocus();

    connect(m_logNow, &QPushButton::clicked, this, &DemoWindow::PushButton9_Click);
    connect(m_clear, &QPushButton::clicked, this, [this] {
        StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
        steps.step(100, [this] { m_results->clear(); });
    });
    connect(m_lookup, &CurlFunctions::progressText, m_progress, &QProgressBar::setFormat);
    connect(m_lookup, &CurlFunctions::logFinished, this, [this](int row) {
        if (row >= 0)
            m_list->scrollTo(m_results->index(row, 0));
    });
}

void DemoWindow::PushButton9_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton9_Click"));
    steps.step(100, [this] { m_lookup->GetLog(); });
}
