#include "lookup/curlfunctions.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "core/filehelpers.h"
#include "core/localetime.h"
#include "core/logtable.h"
#include "core/workingfolder.h"
#include "lookup/answertext.h"

#include <QStandardPaths>

namespace {

// The keys of the six location cells, in column order from Country to Timezone.
const char *const LocationKeys[] = {"country:", "region:", "city:", "postal:", "loc:", "timezone:"};

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

bool CurlFunctions::GetLog()
{
    if (m_runner.isRunning())
        return false;
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("GetLog"));
    steps.step(100, [this] { m_logTime = m_clock(); });
    steps.step(102, [this] { m_runner.start(); });
    return true;
}

void CurlFunctions::onAnswer(const QString &answer, const QString &failure)
{
    StepRunner steps(QStringLiteral("CurlFunctions"), QStringLiteral("GetLog"));
    LogRecord record;
    record.instant = m_logTime;
    record.httpStatus = m_runner.lastStatus();
    record.answer = m_runner.lastAnswer();
    // A failed log keeps its location cells empty, whatever its error body holds, so that the
    // exports show it as before; the row carries the reason instead.
    if (!failure.isEmpty())
        steps.step(106, [&] { record.failure = failure; });
    int row = -1;
    steps.step(104, [&] {
        row = ParseCurl(TimeText(m_logTime), failure.isEmpty() ? answer : QString(), record);
    });
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
    int row = -1;
    steps.step(100, [&] { row = m_results->appendRecord(record); });
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
