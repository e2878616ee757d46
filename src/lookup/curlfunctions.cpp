#include "lookup/curlfunctions.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "core/filehelpers.h"
#include "core/localetime.h"
#include "core/logtable.h"
#include "core/workingfolder.h"
#include "lookup/answertext.h"

#include <QStandardPaths>
#include <QTimer>
#include <utility>

#include <utility>

namespace {

// The keys of the six location cells, in column order from Country to Timezone.
const char *const LocationKeys[] = {"country:", "region:", "city:", "postal:", "loc:", "timezone:"};

// Whether the answer says key is true. A bare value runs on to the next quoted one in the
// flattened answer, so only its start counts.
bool says(const QString &answer, const char *key)
{
    return CurlFunctions::GetJSValue(answer, QString::fromLatin1(key))
        .trimmed()
        .startsWith(QLatin1String("true"), Qt::CaseInsensitive);
}

// The accuracy radius some plans give the place, in kilometres; 0 when the answer gives none.
double radiusKilometres(const QString &answer)
{
    const QString value = CurlFunctions::GetJSValue(answer, QStringLiteral("radius:")).trimmed();
    qsizetype length = 0;
    while (length < value.size() && (value[length].isDigit() || value[length] == u'.'))
        ++length;
    bool isNumber = false;
    const double radius = value.left(length).toDouble(&isNumber);
    return isNumber && radius > 0 ? radius : 0;
}

} // namespace

CurlFunctions::CurlFunctions(LogTable *results, QObject *parent)
    : QObject(parent), m_results(results)
{
    connect(&m_runner, &CurlRunner::progressText, this, &CurlFunctions::progressText);
    connect(&m_runner, &CurlRunner::finished, this, &CurlFunctions::onAnswer);
}

void CurlFunctions::ExtractWorkingFiles()
{
    QStringList problems;

    const QString client = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (client.isEmpty()) {
        problems << QStringLiteral("The curl program was not found on the PATH, so no location "
                                   "can be looked up. Install the package \"curl\".");
        m_curlPath.clear();
    } else {
        m_curlPath = QLatin1Char('"') + client + QLatin1Char('"');
    }
    m_runner.setClient(client);

    try {
        m_folder = WorkingFolder::prepare();
        m_messagePath = m_folder + QStringLiteral("/message.txt");
    } catch (const Failure &failure) {
        problems << failure.description();
        m_folder.clear();
        m_messagePath.clear();
    }
    m_runner.setAnswerPath(m_messagePath);

    if (!problems.isEmpty())
        throw Failure(problems.join(QLatin1Char('\n')));
}

void CurlFunctions::DeleteWorkingFiles()
{
    DeleteFileQuietly(m_messagePath);
    WorkingFolder::removeIfEmpty(m_folder);
}

bool CurlFunctions::GetLog(bool askedByUser)
{
    if (isBusy())
        return false;
    m_asker = !askedByUser                   ? Asker::Schedule
        : std::exchange(m_serverAsks, false) ? Asker::Server
                                             : Asker::User;
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("GetLog"));
    steps.step(100, [this] { m_logTime = m_clock(); });
    // What was told about the log before no longer counts, even should this one end at once.
    endWait(std::nullopt);
    m_log = LogId::next(m_logTime.toMSecsSinceEpoch());
    m_earlyFix.reset();
    m_fixTaken = false;
    m_rowAdded = false;

    // A client installed, or a working folder mended, since the last log is taken at once.
    QString cannotStart;
    if (m_runner.client().isEmpty() || m_runner.answerPath().isEmpty()) {
        try {
            ExtractWorkingFiles();
        } catch (const Failure &failure) {
            cannotStart = failure.description();
        }
    }
    bool started = false;
    steps.step(102, [&] { started = m_runner.start(); });
    if (!started) {
        // Still a log: its row tells why, and comes from the event loop as any other log's end,
        // so that whatever waits for it goes on.
        if (cannotStart.isEmpty())
            cannotStart = QStringLiteral("The lookup could not start.");
        m_startFailed = true;
        QTimer::singleShot(0, this, [this, log = m_log, cannotStart] {
            if (log != m_log || !std::exchange(m_startFailed, false))
                return;
            onAnswer(QString(), cannotStart);
        });
        return true;
    }
    // Asked alongside the lookup, never waited for.
    if (m_askWiFi) {
        m_asked.start();
        m_askWiFi([this, log = m_log](const std::optional<Fix> &fix) { onWiFiFix(log, fix); });
    }
    return true;
}

void CurlFunctions::onWiFiFix(LogId log, const std::optional<Fix> &fix)
{
    // A fix for a log before the last one, one past its time, or a second one for the same log,
    // is left out for good.
    if (log != m_log || m_fixTaken || (fix && m_asked.hasExpired(m_wifiDeadlineMs)))
        return;
    m_fixTaken = true;
    if (!m_rowAdded) {
        m_earlyFix = fix;
        return;
    }
    if (fix)
        m_results->joinWiFiFix(m_log, *fix);
    endWait(fix);
}

void CurlFunctions::endWait(const std::optional<Fix> &joined)
{
    if (!std::exchange(m_waiting, false) || !m_wait.ends)
        return;
    m_wait.ends(m_log, joined);
}

void CurlFunctions::onAnswer(const QString &answer, const QString &failure)
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("GetLog"));
    LogRecord record;
    record.id = m_log;
    record.instant = m_logTime;
    record.askedBy = m_asker;
    record.httpStatus = m_runner.lastStatus();
    record.answer = m_runner.lastAnswer();
    // A failed log keeps its location cells empty, whatever its error body holds, so that the
    // exports show it as before; the row carries the reason instead.
    if (!failure.isEmpty())
        steps.step(106, [&] { record.failure = failure; });
    else
        record.wifi = m_earlyFix;
    if (failure.isEmpty() && m_askWiFi && !m_fixTaken) {
        const int dueMs = int(std::max<qint64>(0, m_wifiDeadlineMs - m_asked.elapsed()));
        m_waiting = dueMs > 0;
        if (m_waiting && m_wait.begins)
            m_wait.begins(m_log, dueMs);
    }
    int row = -1;
    steps.step(104, [&] {
        row = ParseCurl(TimeText(m_logTime), failure.isEmpty() ? answer : QString(), record);
    });
    m_rowAdded = true;
    // A failed log's row has no place for a second fix to join.
    if (!failure.isEmpty())
        m_fixTaken = true;
    Q_EMIT lookupOutcome(failure);
    Q_EMIT logFinished(row);
}

int CurlFunctions::ParseCurl(const QString &timeText, const QString &answer, LogRecord &record)
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("ParseCurl"));
    record.timeText = timeText;
    // The row is whole before it is appended, so that the kept history commits it as it shows.
    int line = 102;
    std::size_t cell = 0;
    for (const char *key : LocationKeys) {
        steps.step(line,
                   [&] { record.cells[cell] = GetJSValue(answer, QString::fromLatin1(key)); });
        line += 2;
        ++cell;
    }
    steps.step(114, [&] {
        if (answer.isEmpty())
            return;
        record.addressAccuracyMetres = radiusKilometres(answer) * 1000;
        if (says(answer, "bogon:"))
            record.mark = Fixes::bogonMark();
        else if (says(answer, "anycast:"))
            record.mark = Fixes::anycastMark();
        else if (!record.cells[LogTable::Country - 1].isEmpty()
                 && record.cells[LogTable::City - 1].isEmpty()
                 && record.cells[LogTable::Coordinates - 1].isEmpty())
            record.mark = Fixes::countryOnlyMark();
    });
    int row = -1;
    steps.step(100, [&] { row = m_results->appendRecord(record).row; });
    return row;
}

QString CurlFunctions::GetJSValue(const QString &source, const QString &key)
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("GetJSValue"));
    QString value;
    steps.step(100, [&] { value = AnswerText::GetJSValue(source, key); });
    return value;
}

QString CurlFunctions::TimeText(const QDateTime &time, const QLocale &locale)
{
    return locale.toString(time.date(), DateFormatWithFullYear(locale)) + QLatin1Char(' ')
        + locale.toString(time.time(), TimeFormatWithSeconds(locale));
}
