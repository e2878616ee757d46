#include "results/clipboardtext.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

namespace {

constexpr int ClipboardAttempts = 1000;

} // namespace

namespace TextExport {

void ClipboardClear()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (int attempt = 0; attempt < ClipboardAttempts; ++attempt) {
        clipboard->clear(QClipboard::Clipboard);
        if (clipboard->text(QClipboard::Clipboard).isEmpty())
            return;
    }
}

void ClipboardSetText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (int attempt = 0; attempt < ClipboardAttempts; ++attempt) {
        clipboard->setText(text, QClipboard::Clipboard);
        if (clipboard->text(QClipboard::Clipboard) == text)
            return;
    }
}

} // namespace TextExport

ClipboardText::ClipboardText(const ResultsList *list, QObject *parent)
    : QObject(parent), m_list(list)
{ }

void ClipboardText::start()
{
    if (isRunning())
        return;
    m_pass = Pass::Widths;
    m_rows = m_list->rows();
    m_row = 0;
    m_ticked = 0;
    m_widths = TextExport::ClipboardWidths(*m_list, 0);
    m_text = QString();
    m_job.start();
}

void ClipboardText::step()
{
    if (m_pass == Pass::Widths) {
        if (m_rows == 0) {
            // Nothing to copy: the caller leaves the clipboard alone.
            m_job.stop();
            Q_EMIT finished(QString());
            return;
        }
        if (!widthsSlice())
            return;
        m_rows = m_list->rows();
        m_row = 0;
        // Each line is at most this long; rows added since the widths only make it grow.
        m_text.reserve(TextExport::LineRoom(m_widths) * m_ticked);
        m_pass = Pass::Lines;
    }
    if (!linesSlice())
        return;

    m_job.stop();
    QString text = std::move(m_text);
    m_text = QString();
    // No ticked row gives empty text, which still replaces what the clipboard held.
    if (text.isNull())
        text = QStringLiteral("");
    Q_EMIT finished(text);
}

// Each slice returns true once its pass is complete, false when the turn is over first.
bool ClipboardText::widthsSlice()
{
    return m_job.throughRows(
        m_row, [this] { return passEnd(); },
        [this](int from, int to) {
            for (int row = from; row < to; ++row)
                m_ticked += m_list->isChecked(row) ? 1 : 0;
            TextExport::Widen(m_widths, *m_list, from, to);
        });
}

bool ClipboardText::linesSlice()
{
    return m_job.throughRows(
        m_row, [this] { return passEnd(); },
        [this](int from, int to) {
            for (int row = from; row < to; ++row) {
                if (m_list->isChecked(row))
                    TextExport::AppendClipboardLine(m_text, TextExport::RowCells(*m_list, row),
                                                    m_widths);
            }
        });
}

int ClipboardText::passEnd() const
{
    // The table may have been cleared since the pass began.
    return std::min(m_rows, m_list->rows());
}
