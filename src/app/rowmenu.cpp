#include "app/rowmenu.h"

#include "app/resultsview.h"
#include "core/dialogs.h"
#include "results/resultslist.h"
#include "results/rowcorrections.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QMenu>

RowMenu::RowMenu(ResultsView *view, RowCorrections *corrections, Dialogs *dialogs)
    : QObject(view),
      m_view(view),
      m_corrections(corrections),
      m_dialogs(dialogs),
      m_menu(new QMenu(view))
{
    m_menu->setObjectName(QStringLiteral("MenuRows"));
    m_menu->setAccessibleName(QStringLiteral("Rows"));
    m_remove = addItem("ActionRemoveRows", QStringLiteral("&Remove From Results"));
    m_remove->setShortcut(QKeySequence::Delete);
    m_undo = addItem("ActionUndoRemove", QStringLiteral("&Undo Remove"));
    m_undo->setShortcut(QKeySequence::Undo);
    // Ctrl+Z brings the rows back wherever the window's focus is; a text field takes it first
    // for its own text.
    m_undo->setShortcutContext(Qt::WindowShortcut);
    m_menu->addSeparator();
    m_useWiFi = addItem("ActionUseWiFiPosition", QStringLiteral("Use &Wi-Fi Position"));
    m_useAddress = addItem("ActionUseAddressPosition", QStringLiteral("Use &Address Position"));
    m_menu->addSeparator();
    m_leaveOut = addItem("ActionLeaveOut", QStringLiteral("&Leave Out Of Days Per Country"));
    m_countIn = addItem("ActionCountIn", QStringLiteral("&Count In Days Per Country"));

    connect(m_remove, &QAction::triggered, this, &RowMenu::remove);
    connect(m_undo, &QAction::triggered, this, [this] { m_corrections->undoRemove(); });
    connect(m_useWiFi, &QAction::triggered, this, [this] { choose(FixChoice::WiFi); });
    connect(m_useAddress, &QAction::triggered, this, [this] { choose(FixChoice::Address); });
    connect(m_leaveOut, &QAction::triggered, this, [this] { leaveOut(true); });
    connect(m_countIn, &QAction::triggered, this, [this] { leaveOut(false); });
    connect(corrections, &RowCorrections::undoChanged, m_undo, &QAction::setEnabled);
    connect(view, &ResultsView::menuAsked, this, &RowMenu::popup);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RowMenu::updateItems);
    connect(view->model(), &QAbstractItemModel::modelReset, this, &RowMenu::updateItems);
    connect(view->model(), &QAbstractItemModel::dataChanged, this, &RowMenu::updateItems);
    updateItems();
}

// A screen reader names each item by its text without the mnemonic's mark, as QMenu gives it.
QAction *RowMenu::addItem(const char *name, const QString &text)
{
    auto *action = new QAction(text, m_view);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_view->addAction(action);
    m_menu->addAction(action);
    return action;
}

QList<int> RowMenu::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void RowMenu::updateItems()
{
    const QList<int> rows = selectedRows();
    const ResultsList *results = m_view->results();
    bool wifi = false, address = false, leave = false, count = false;
    for (const int row : rows) {
        wifi = wifi || m_corrections->canChoose(row, FixChoice::WiFi);
        address = address || m_corrections->canChoose(row, FixChoice::Address);
        const bool leftOut = results->isLeftOut(row);
        leave = leave || !leftOut;
        count = count || leftOut;
        if (wifi && address && leave && count)
            break;
    }
    m_remove->setEnabled(!rows.isEmpty());
    m_undo->setEnabled(m_corrections->canUndoRemove());
    m_useWiFi->setEnabled(wifi);
    m_useAddress->setEnabled(address);
    m_leaveOut->setEnabled(leave);
    m_countIn->setEnabled(count);
}

void RowMenu::popup(QPoint global)
{
    if (m_menu->isVisible())
        return;
    updateItems();
    m_menu->popup(global);
}

void RowMenu::remove()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const QString question = rows.size() == 1
        ? QStringLiteral("Remove 1 row from the results?")
        : QStringLiteral("Remove %1 rows from the results?").arg(rows.size());
    if (m_dialogs->askYesNo(question))
        m_corrections->remove(rows);
}

void RowMenu::choose(FixChoice choice)
{
    m_corrections->choose(selectedRows(), choice);
    updateItems();
}

void RowMenu::leaveOut(bool leftOut)
{
    m_corrections->leaveOut(selectedRows(), leftOut);
    updateItems();
}
