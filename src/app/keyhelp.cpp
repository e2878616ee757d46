#include "app/keyhelp.h"

#include "core/contact.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

namespace {

// The offer's words; the sign-up page is named twice.
QString offerText()
{
    const QString signUp = QString::fromLatin1(Contact::SignUpPage);
    return QStringLiteral("Software can work without API key.\n\n"
                          "But to log your location frequently, you may need to get API key "
                          "from ")
        + signUp + QStringLiteral(".\n\nWould you like me to open ") + signUp
        + QStringLiteral(" now?\n\nQuestions? Please contact Team Brenvatic at ")
        + QString::fromLatin1(Contact::ContactPage);
}

} // namespace

QString KeyHelp::storedKey() const
{
    return m_settings.get(SettingKeys::APIKey);
}

void KeyHelp::PushButton8_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton8_Click"));
    QString key;
    std::optional<QString> answer;
    steps.step(100, [&] { key = storedKey(); });
    steps.step(102, [&] {
        answer = m_dialogs->askText(QStringLiteral("Please Enter Your API Key"),
                                    QStringLiteral("Enter Your API Key"), key);
    });
    if (!answer || answer->isEmpty())
        return;
    steps.step(104, [&] { m_settings.save(SettingKeys::APIKey, *answer); });
}

void KeyHelp::PushButton7_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
    steps.step(100, [this] { ShowKeyHelp(true); });
}

void KeyHelp::ShowKeyHelp(bool always)
{
    const bool due = always || storedKey().trimmed().isEmpty();
    if (!due || m_keyHelpShown)
        return;
    m_keyHelpShown = true;
    if (m_dialogs->askYesNo(offerText()))
        m_dialogs->openUrl(QString::fromLatin1(Contact::SignUpPage));
}
