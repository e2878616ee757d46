#pragma once

#include "core/clock.h"
#include "results/spreadsheethandlercheck.h"

#include <QObject>
#include <QString>
#include <functional>

class Dialogs;
class PointerRule;
class ResultsList;
class StepRunner;

// The window's exports of the results: the spaced text file, the clipboard text, the sheet
// opened in the user's spreadsheet application and the files for mapping tools. One export of a
// kind runs at a time: a click while it runs is not taken. The window stays live meanwhile.
class ExportController : public QObject
{
    Q_OBJECT

public:
    // clock: the time of day, which names the sheet.
    ExportController(ResultsList *results, Dialogs *dialogs, PointerRule *pointer,
                     const Clock &clock, QObject *parent = nullptr);

    void saveTextFile(); // "Save Results As Text File"
    void copyToClipboard(); // "Copy Results To Clipboard"
    void openSpreadsheet(); // "Save Results As Excel File"
    void saveGeoFile(); // "Save Results As…": GPX, GeoJSON, KML or CSV

    // Whether the desktop opens spreadsheets, asked once the window is up.
    SpreadsheetHandlerCheck &spreadsheetCheck() { return m_spreadsheetCheck; }

Q_SIGNALS:
    // The window's progress bar while the text file or a file for mapping tools is written.
    void progressMaximum(int maximum);
    void progressValue(int value);
    void progressText(const QString &text);

private:
    // One kind of export, and where its steps are reported.
    struct Kind
    {
        // The button's handler, with its steps that show the hourglass (0: none; the clipboard
        // text is ready too soon to wait on) and that start the job.
        QString procedure;
        int hourglassLine;
        int startLine;
        // What the end of the job is reported as.
        QString closingModule;
        QString closingProcedure;
        // A job of this kind runs, or waits for the desktop's answer.
        bool busy = false;
    };

    void click(Kind &kind, void (ExportController::*begin)());
    void askForTextFile();
    void askForGeoFile();
    void copyText();
    void askDesktop();
    void sheetAnswered(bool installed);

    // Makes a job (a Failure when it cannot), then starts it as the kind's start step.
    template<typename Job> void launch(Kind &kind, const std::function<Job *()> &make);
    // The end of a job: the closing steps, then the arrow back and the job let go.
    void finish(Kind &kind, QObject *job, const std::function<void(StepRunner &)> &closing);
    void setWaiting(const Kind &kind, bool waiting);

    ResultsList *m_results;
    Dialogs *m_dialogs;
    PointerRule *m_pointer;
    Clock m_clock;
    SpreadsheetHandlerCheck m_spreadsheetCheck;
    Kind m_textFile {QStringLiteral("PushButton4_Click"), 102, 104, QStringLiteral("Main"),
                     QStringLiteral("SaveListviewProperlySpaced")};
    Kind m_clipboard {QStringLiteral("PushButton5_Click"), 0, 100, QStringLiteral("Main"),
                      QStringLiteral("CopyListViewToClipboardTab")};
    Kind m_sheet {QStringLiteral("PushButton6_Click"), 102, 104, QStringLiteral("Form1"),
                  QStringLiteral("PushButton6_Click")};
    Kind m_geoFile {QStringLiteral("PushButtonSaveAs_Click"), 102, 104, QStringLiteral("Form1"),
                    QStringLiteral("PushButtonSaveAs_Click")};
};
