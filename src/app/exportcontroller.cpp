#include "app/exportcontroller.h"

#include "app/look.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "core/privatefiles.h"
#include "core/progresstext.h"
#include "map/geoexport.h"
#include "map/geosave.h"
#include "results/clipboardtext.h"
#include "results/exportfiles.h"
#include "results/resultslist.h"
#include "results/spreadsheetexport.h"
#include "results/textexport.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

// Error reports name the window's handlers as the window's own.
const QString WindowModule = QStringLiteral("Form1");

QString LeftOutNotice(int count)
{
    return count == 1 ? QStringLiteral("1 ticked row has no usable coordinates and was left out "
                                       "of the file.")
                      : QStringLiteral("%1 ticked rows have no usable coordinates and were left "
                                       "out of the file.")
                            .arg(count);
}

} // namespace

ExportController::ExportController(ResultsList *results, Dialogs *dialogs, PointerRule *pointer,
                                   const Clock &clock, QObject *parent)
    : QObject(parent), m_results(results), m_dialogs(dialogs), m_pointer(pointer), m_clock(clock)
{ }

void ExportController::saveTextFile()
{
    click(m_textFile, &ExportController::askForTextFile);
}

void ExportController::copyToClipboard()
{
    click(m_clipboard, &ExportController::copyText);
}

void ExportController::openSpreadsheet()
{
    click(m_sheet, &ExportController::askDesktop);
}

void ExportController::saveGeoFile()
{
    click(m_geoFile, &ExportController::askForGeoFile);
}

void ExportController::click(Kind &kind, void (ExportController::*begin)())
{
    // One export of a kind at a time: a second click while it runs, or while the desktop is
    // still asked, would only repeat the request.
    if (kind.busy)
        return;
    (this->*begin)();
}

template<typename Job> void ExportController::launch(Kind &kind, const std::function<Job *()> &make)
{
    StepRunner steps(WindowModule, kind.procedure);
    if (kind.hourglassLine != 0)
        steps.step(kind.hourglassLine, [&] { setWaiting(kind, true); });
    const bool started = steps.step(kind.startLine, [&] {
        Job *job = make();
        kind.busy = true;
        job->start();
    });
    if (!started)
        setWaiting(kind, false);
}

void ExportController::finish(Kind &kind, QObject *job,
                              const std::function<void(StepRunner &)> &closing)
{
    StepRunner steps(kind.closingModule, kind.closingProcedure);
    closing(steps);
    setWaiting(kind, false);
    job->deleteLater();
    kind.busy = false;
}

void ExportController::setWaiting(const Kind &kind, bool waiting)
{
    if (kind.hourglassLine != 0)
        m_pointer->setPointer(waiting ? PointerRule::Pointer::Hourglass
                                      : PointerRule::Pointer::Default);
}

void ExportController::askForTextFile()
{
    QString path;
    StepRunner(WindowModule, m_textFile.procedure).step(100, [&] {
        path = m_dialogs->askSaveFile(
            QStringLiteral("Save"),
            {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    });
    if (path.isEmpty())
        return;
    launch<SpacedTextSave>(m_textFile, [&] {
        // Written beside the target and put in its place only when complete, so a failed save
        // leaves an existing file as it was and no half file behind.
        auto *file = new QSaveFile(path, this);
        if (!file->open(QIODevice::WriteOnly)) {
            const QString error = file->errorString();
            delete file;
            throw Failure(QStringLiteral("The file %1 cannot be written: %2").arg(path, error));
        }
        const QFileDevice::Permissions mode = PrivateFiles::keepPrivateWhileWritten(*file);
        auto *save = new SpacedTextSave(m_results, file, path, this);
        file->setParent(save);
        Q_EMIT progressMaximum(100);
        connect(save, &SpacedTextSave::progress, this, [this](int position, const QString &text) {
            Q_EMIT progressValue(position);
            if (!text.isNull())
                Q_EMIT progressText(text);
        });
        connect(save, &SpacedTextSave::finished, this, [=, this](bool ok, QString error) {
            finish(m_textFile, save, [&](StepRunner &closing) {
                // Only a complete file takes the target's place.
                if (ok && !PrivateFiles::putInPlace(*file, mode)) {
                    ok = false;
                    error = QStringLiteral("The file %1 could not be put in place: %2")
                                .arg(file->fileName(), file->errorString());
                }
                if (!ok) {
                    closing.step(108, [&] { throw Failure(error); });
                    Q_EMIT progressValue(0);
                    Q_EMIT progressText(ProgressIdleText());
                }
            });
        });
        return save;
    });
}

void ExportController::askForGeoFile()
{
    QString path, filter;
    StepRunner asking(WindowModule, m_geoFile.procedure);
    asking.step(100, [&] {
        path = m_dialogs->askSaveFile(QStringLiteral("Save Results As"), GeoExport::Filters(),
                                      &filter);
    });
    if (path.isEmpty())
        return;
    const GeoExport::Target target = GeoExport::ChooseTarget(path, filter);
    // The dialog asked before replacing the name it gave; a name that took its extension only
    // now was not asked about.
    if (target.path != path && QFileInfo::exists(target.path)
        && !m_dialogs->askYesNo(QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                    .arg(QFileInfo(target.path).fileName())))
        return;
    launch<GeoSave>(m_geoFile, [&] {
        // Written beside the target and put in its place only when complete, as the text file:
        // a failed save leaves an existing file as it was and no half file behind.
        auto *file = new QSaveFile(target.path, this);
        if (!file->open(QIODevice::WriteOnly)) {
            const QString error = file->errorString();
            delete file;
            throw Failure(
                QStringLiteral("The file %1 cannot be written: %2").arg(target.path, error));
        }
        auto *save = new GeoSave(m_results, file, target.format, this);
        file->setParent(save);
        Q_EMIT progressMaximum(100);
        Q_EMIT progressText(QStringLiteral("Writing file: ") + QFileInfo(target.path).fileName());
        connect(save, &GeoSave::progress, this, &ExportController::progressValue);
        // The job puts the file in place once it is complete.
        connect(save, &GeoSave::finished, this,
                [this, save](bool ok, const QString &error, int leftOut) {
                    finish(m_geoFile, save, [&](StepRunner &closing) {
                        Q_EMIT progressValue(0);
                        Q_EMIT progressText(ProgressIdleText());
                        if (!ok)
                            closing.step(106, [&] { throw Failure(error); });
                    });
                    // Told once the pointer is back, as the clipboard's notice.
                    if (ok && leftOut > 0)
                        StepRunner(WindowModule, m_geoFile.procedure).step(108, [&] {
                            m_dialogs->inform(LeftOutNotice(leftOut));
                        });
                });
        return save;
    });
}

void ExportController::copyText()
{
    launch<ClipboardText>(m_clipboard, [&] {
        auto *copy = new ClipboardText(m_results, this);
        connect(copy, &ClipboardText::finished, this, [this, copy](const QString &text) {
            finish(m_clipboard, copy, [&](StepRunner &closing) {
                // An empty table leaves the clipboard as it was.
                if (!text.isNull()) {
                    closing.step(110, [] { TextExport::ClipboardClear(); });
                    closing.step(112, [&] { TextExport::ClipboardSetText(text); });
                }
            });
            StepRunner(WindowModule, m_clipboard.procedure).step(102, [this] {
                m_dialogs->inform(QStringLiteral(
                    "Results have been copied to the clipboard.\n\nClick a text area where you "
                    "normally type and press Ctrl+V to paste the clipboard."));
            });
        });
        return copy;
    });
}

void ExportController::askDesktop()
{
    if (m_spreadsheetCheck.answer() == SpreadsheetHandlerCheck::Answer::Yes) {
        sheetAnswered(true);
        return;
    }
    // No answer yet, or none when last asked (the user may have installed one since): the
    // export goes on once the desktop answers, and the window stays free meanwhile.
    m_sheet.busy = true;
    setWaiting(m_sheet, true);
    connect(
        &m_spreadsheetCheck, &SpreadsheetHandlerCheck::answered, this,
        [this](bool installed) {
            m_sheet.busy = false;
            sheetAnswered(installed);
        },
        Qt::SingleShotConnection);
    m_spreadsheetCheck.check();
}

void ExportController::sheetAnswered(bool installed)
{
    if (!installed) {
        setWaiting(m_sheet, false);
        m_dialogs->inform(QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this feature."));
        return;
    }
    if (m_results->rows() == 0) {
        setWaiting(m_sheet, false);
        return;
    }
    launch<SpreadsheetExport>(m_sheet, [&] {
        const QString folder = Spreadsheet::CacheFolder();
        if (!Spreadsheet::MakeCacheFolder())
            throw Failure(QStringLiteral("The folder %1 cannot be created.").arg(folder));
        const QString path = folder + QLatin1Char('/') + Spreadsheet::ExportFileName(m_clock());
        auto *sheet = new SpreadsheetExport(m_results, path, this);
        // Removed at a later start unless the user has saved to it by then.
        sheet->setLifetime(Spreadsheet::Lifetime::Removable);
        connect(sheet, &SpreadsheetExport::finished, this,
                [this, sheet](bool ok, const QString &file, const QString &error) {
                    finish(m_sheet, sheet, [&](StepRunner &closing) {
                        if (!ok)
                            closing.step(106, [&] { throw Failure(error); });
                        else
                            closing.step(108, [&] {
                                if (!Spreadsheet::OpenInSpreadsheet(file))
                                    throw Failure(
                                        QStringLiteral("The spreadsheet %1 could not be opened.")
                                            .arg(file));
                            });
                    });
                });
        return sheet;
    });
}
