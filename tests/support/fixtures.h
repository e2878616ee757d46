#pragma once

#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

// Sets or unsets environment variables for one test and puts the old state back afterwards,
// the last change first.
class EnvOverride
{
public:
    EnvOverride() = default;
    // One variable at once: set to value, or unset when there is none.
    EnvOverride(const char *name, std::optional<QByteArray> value)
    {
        if (value)
            set(name, *value);
        else
            unset(name);
    }
    ~EnvOverride()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->second)
                qputenv(it->first, *it->second);
            else
                qunsetenv(it->first);
        }
    }
    EnvOverride(const EnvOverride &) = delete;
    EnvOverride &operator=(const EnvOverride &) = delete;

    void set(const char *name, const QByteArray &value)
    {
        save(name);
        qputenv(name, value);
    }
    void set(const char *name, const QString &value) { set(name, value.toLocal8Bit()); }
    void unset(const char *name)
    {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char *name)
    {
        m_saved.append({name,
                        qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                        : std::nullopt});
    }
    QList<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

// Keeps a timer's own timeouts away, so that only a test's explicit ticks count while the
// timer's running state stays what the program made it.
class MutedTimer : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Timer; }
};
