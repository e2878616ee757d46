#pragma once

#include "core/slicedjob.h"
#include "results/resultslist.h"
#include "results/textexport.h"

#include <QObject>
#include <QString>

namespace TextExport {

// Empties the clipboard; puts plain text on it. Each retries at once, at most 1000 attempts
// in all, while the clipboard does not take it; a clipboard that never does is not reported.
void ClipboardClear();
void ClipboardSetText(const QString &text);

} // namespace TextExport

// Builds the clipboard text of a results list in slices of the event loop.
class ClipboardText : public QObject
{
    Q_OBJECT

public:
    explicit ClipboardText(const ResultsList *list, QObject *parent = nullptr);

    void start();
    bool isRunning() const { return m_job.isRunning(); }

Q_SIGNALS:
    void finished(const QString &text);

private:
    enum class Pass { Widths, Lines };

    void step();
    bool widthsSlice();
    bool linesSlice();
    int passEnd() const;

    const ResultsList *m_list;
    Pass m_pass = Pass::Widths;
    int m_row = 0;
    // The row count fixed when the running pass began.
    int m_rows = 0;
    int m_ticked = 0;
    TextExport::Widths m_widths {};
    QString m_text;
    SlicedJob m_job {[this] {
        step();
    }};
};
