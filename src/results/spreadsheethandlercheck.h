#pragma once

#include <QObject>

class QProcess;
class QTimer;

// Whether this desktop has an application that opens .xlsx files: the default handler of the
// spreadsheet MIME type, or LibreOffice Calc or Gnumeric on the PATH. The desktop's query tool
// runs in the background; the window never waits for it, however slow the system.
class SpreadsheetHandlerCheck : public QObject
{
    Q_OBJECT

public:
    enum class Answer { Unknown, Yes, None };

    explicit SpreadsheetHandlerCheck(QObject *parent = nullptr);
    ~SpreadsheetHandlerCheck() override;

    // Asks the desktop, unless it said yes before (an application, once there, stays) or a
    // question is under way; answered() follows. After "none" it asks again: the user may have
    // installed one meanwhile.
    void check();
    bool isChecking() const { return m_checking; }
    // The last answer.
    Answer answer() const { return m_answer; }

Q_SIGNALS:
    void answered(bool installed);

private:
    void finish(bool defaultHandler);

    QProcess *m_query = nullptr;
    QTimer *m_deadline;
    bool m_checking = false;
    Answer m_answer = Answer::Unknown;
};
