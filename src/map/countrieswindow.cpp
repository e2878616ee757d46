#include "map/countrieswindow.h"

#include "map/countrydaysjob.h"
#include "results/clipboardtext.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QString countedText(const CountryDaysResult &result, CountedRows which)
{
    QString text;
    if (result.counted == 0 && result.leftOut == 0)
        text = which == CountedRows::All ? QStringLiteral("No rows to count.")
                                         : QStringLiteral("No ticked rows to count.");
    else if (result.counted == 1)
        text = QStringLiteral("1 row counted.");
    else
        text = QStringLiteral("%1 rows counted.").arg(result.counted);
    const QString note = CountryDaysText::leftOutNote(result.leftOut);
    return note.isEmpty() ? text : text + QLatin1Char(' ') + note;
}

QStandardItem *item(const QString &text, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto *cell = new QStandardItem(text);
    cell->setEditable(false);
    cell->setTextAlignment(alignment | Qt::AlignVCenter);
    return cell;
}

} // namespace

CountriesWindow::CountriesWindow(const ResultsList *list, QWidget *parent)
    : QWidget(parent, Qt::Window), m_job(new CountryDaysJob(list, this))
{
    setObjectName(QStringLiteral("CountriesWindow"));
    setWindowTitle(QStringLiteral("Days per Country"));

    auto *rowsLabel = new QLabel(QStringLiteral("&Count:"), this);
    m_rows = new QComboBox(this);
    m_rows->setObjectName(QStringLiteral("ComboCountriesRows"));
    m_rows->addItem(QStringLiteral("All rows"));
    m_rows->addItem(QStringLiteral("Ticked rows only"));
    m_rows->setAccessibleName(QStringLiteral("Rows to count"));
    rowsLabel->setBuddy(m_rows);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_model->setHorizontalHeaderLabels(
        {QStringLiteral("Country"), QStringLiteral("Days"), QStringLiteral("Left out by you"),
         QStringLiteral("First day"), QStringLiteral("Last day"), QStringLiteral("Dates")});
    m_table = new QTreeView(this);
    m_table->setObjectName(QStringLiteral("TreeCountries"));
    m_table->setAccessibleName(QStringLiteral("Days per country"));
    m_table->setModel(m_model);
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setAllColumnsShowFocus(true);
    m_table->header()->setStretchLastSection(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("LabelCountriesStatus"));
    m_status->setAccessibleName(QStringLiteral("Count"));
    m_status->setWordWrap(true);

    m_copy = new QPushButton(QStringLiteral("Copy"), this);
    m_copy->setObjectName(QStringLiteral("PushButtonCountriesCopy"));
    m_copy->setAccessibleName(QStringLiteral("Copy days per country"));
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("PushButtonCountriesClose"));

    auto *top = new QHBoxLayout;
    top->addWidget(rowsLabel);
    top->addWidget(m_rows);
    top->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_copy);
    bottom->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    setTabOrder(m_rows, m_table);
    setTabOrder(m_table, m_copy);
    setTabOrder(m_copy, m_close);

    connect(m_rows, &QComboBox::currentIndexChanged, this,
            [this] { m_job->setRows(chosenRows()); });
    connect(m_job, &CountryDaysJob::counting, this, [this] { m_status->setText(countingText()); });
    connect(m_job, &CountryDaysJob::counted, this, &CountriesWindow::showResult);
    connect(m_copy, &QPushButton::clicked, this, &CountriesWindow::copy);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    resize(760, 360);
}

void CountriesWindow::showAndRaise()
{
    show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

QString CountriesWindow::countingText() const
{
    return m_copyPending ? QStringLiteral("Counting… the count is copied once it is done.")
                         : QStringLiteral("Counting…");
}

CountedRows CountriesWindow::chosenRows() const
{
    return m_rows->currentIndex() == 1 ? CountedRows::Ticked : CountedRows::All;
}

QString CountriesWindow::copyText() const
{
    return CountryDaysText::plainText(m_job->result(), m_job->rows());
}

bool CountriesWindow::isUpToDate() const
{
    return isVisible() && !m_job->isCounting();
}

void CountriesWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_job->setFollowing(true);
}

void CountriesWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A window that is closed, not one that is minimized, stops counting.
    if (!isVisible()) {
        m_job->setFollowing(false);
        m_copyPending = false;
    }
}

void CountriesWindow::showResult(const CountryDaysResult &result)
{
    m_model->removeRows(0, m_model->rowCount());
    const auto number = [](qsizetype count) {
        return item(QString::number(count), Qt::AlignRight);
    };
    for (const CountryTally &tally : result.countries) {
        m_model->appendRow(
            {item(tally.country), number(tally.count()), number(tally.leftOutDays.size()),
             item(CountryDaysText::date(tally.first())), item(CountryDaysText::date(tally.last())),
             item(CountryDaysText::dayList(tally))});
    }
    // A day spent in two countries counts for each of them, and once in the total.
    if (!result.countries.isEmpty())
        m_model->appendRow({item(QStringLiteral("Total")), number(result.totalDays),
                            number(result.totalLeftOutDays),
                            item(CountryDaysText::date(result.first)),
                            item(CountryDaysText::date(result.last)), item(QString())});
    for (int column = Country; column < Dates; ++column)
        m_table->resizeColumnToContents(column);
    m_status->setText(countedText(result, m_job->rows()));
    if (m_copyPending && !m_job->isCounting())
        copy();
}

void CountriesWindow::copy()
{
    if (m_job->isCounting()) {
        m_copyPending = true;
        m_status->setText(countingText());
        return;
    }
    m_copyPending = false;
    const QString text = copyText();
    TextExport::ClipboardSetText(text);
    // The clipboard belongs to the desktop: one that would not take the text is said so, and
    // the count stays here to copy again.
    if (QGuiApplication::clipboard()->text(QClipboard::Clipboard) != text)
        m_status->setText(
            QStringLiteral("The clipboard did not take the text. Nothing was copied."));
    else
        m_status->setText(QStringLiteral("Copied to the clipboard."));
}
