#include "desktop/commandline.h"

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

const char Usage[]
    = "Usage: trovanel [OPTION]\n"
      "Keeps a record of where this computer has been.\n"
      "\n"
      "  --toggle    turn logging on or off\n"
      "  --log-now   log the location now, as \"Log Now (Test)\" does\n"
      "  --show      show the window\n"
      "  --help      show this help and end\n"
      "  --version   show the version and end\n"
      "\n"
      "--toggle, --log-now and --show act on the Trovanel already running, and start\n"
      "it first when none runs. With no option, Trovanel starts, or shows the window\n"
      "of the one already running. Bind a command to a key in your desktop's\n"
      "keyboard settings, for example: trovanel --toggle\n";

CommandLine::Parsed failed(const QString &words)
{
    return {std::nullopt, 2, QString(),
            QStringLiteral("trovanel: %1\nTry 'trovanel --help' for more.\n").arg(words)};
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
            return {std::nullopt, 0, QString::fromLatin1(Usage), QString()};
        if (argument == QLatin1String("--version"))
            return {std::nullopt, 0, QStringLiteral("Trovanel %1\n").arg(version), QString()};
        if (argument == QLatin1String("--toggle"))
            request = Request::Toggle;
        else if (argument == QLatin1String("--log-now"))
            request = Request::LogNow;
        else if (argument == QLatin1String("--show"))
            request = Request::Show;
        if (request) {
            if (parsed.request && *parsed.request != *request)
                return failed(QStringLiteral("give one of --toggle, --log-now and --show at a "
                                             "time"));
            parsed.request = request;
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
    return parsed;
}

} // namespace CommandLine
