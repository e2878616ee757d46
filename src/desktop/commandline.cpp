#include "desktop/commandline.h"

#include <QDir>
#include <QSet>

namespace {

// Qt's own options, which take the next argument as their value, and those that take none.
const QSet<QString> QtOptionsWithValue {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "qwindowicon",
    "qwindowtitle",
    "display",
    "geometry",
    "style",
    "stylesheet",
    "session",
    "name",
    "title",
    "visual",
    "ncols",
    "cmap",
    "im",
    "inputstyle",
    "qmljsdebugger",
    "widgetcount",
};
const QSet<QString> QtOptionsAlone {"reverse", "nograb", "dograb", "sync", "testability"};

const char Usage[] = "Usage: trovanel [OPTION]\n"
                     "Keeps a record of where this computer has been.\n"
                     "\n"
                     "  --toggle           turn logging on or off\n"
                     "  --log-now          log the location now, as \"Log Now (Test)\" does\n"
                     "  --show             show the window\n"
                     "  --import FILE...   import the track files, as \"From Files...\" does\n"
                     "  --restore          restore the record from your server set in Share Logs\n"
                     "  --help             show this help and end\n"
                     "  --version          show the version and end\n"
                     "\n"
                     "--toggle, --log-now, --show, --import and --restore act on the Trovanel\n"
                     "already running, and start it first when none runs. --import and --restore\n"
                     "wait until it is over, print what came in and end with status 0, or print\n"
                     "the error and end with status 1. With no option, Trovanel starts, or shows\n"
                     "the window of the one already running. Bind a command to a key in your\n"
                     "desktop's keyboard settings, for example: trovanel --toggle\n";

CommandLine::Parsed failed(const QString &words)
{
    return {std::nullopt,
            2,
            QString(),
            QStringLiteral("trovanel: %1\nTry 'trovanel --help' for more.\n").arg(words),
            {}};
}

} // namespace

namespace CommandLine {

Parsed parse(const QStringList &arguments, const QString &version)
{
    using Request = SingleInstance::Request;
    Parsed parsed;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        std::optional<Request> request;
        if (argument == QLatin1String("--help"))
            return {std::nullopt, 0, QString::fromLatin1(Usage), QString(), {}};
        if (argument == QLatin1String("--version"))
            return {std::nullopt, 0, QStringLiteral("Trovanel %1\n").arg(version), QString(), {}};
        if (argument == QLatin1String("--toggle"))
            request = Request::Toggle;
        else if (argument == QLatin1String("--log-now"))
            request = Request::LogNow;
        else if (argument == QLatin1String("--show"))
            request = Request::Show;
        else if (argument == QLatin1String("--import"))
            request = Request::Import;
        else if (argument == QLatin1String("--restore"))
            request = Request::Restore;
        if (request) {
            if (parsed.request && *parsed.request != *request)
                return failed(*request < Request::Import && *parsed.request < Request::Import
                                  ? QStringLiteral("give one of --toggle, --log-now and --show "
                                                   "at a time")
                                  : QStringLiteral("give --import or --restore alone"));
            parsed.request = request;
            continue;
        }
        // The words after --import are its files.
        if (parsed.request == Request::Import && !argument.startsWith(u'-')) {
            parsed.files << QDir::current().absoluteFilePath(argument);
            continue;
        }
        // Qt's options, with one dash or two, and "-option=value".
        QString name = argument;
        if (name.startsWith(QLatin1String("--")))
            name.remove(0, 1);
        if (name.startsWith(u'-')) {
            name = name.mid(1).section(u'=', 0, 0);
            if (QtOptionsAlone.contains(name))
                continue;
            if (QtOptionsWithValue.contains(name)) {
                if (!argument.contains(u'=') && ++i >= arguments.size())
                    return failed(QStringLiteral("option '%1' needs a value").arg(argument));
                continue;
            }
            return failed(QStringLiteral("unknown option '%1'").arg(argument));
        }
        return failed(QStringLiteral("unexpected argument '%1'").arg(argument));
    }
    if (parsed.request == Request::Import && parsed.files.isEmpty())
        return failed(QStringLiteral("option '--import' needs a file"));
    return parsed;
}

} // namespace CommandLine
