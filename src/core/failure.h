#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// A failure that a handler's step reports to the user. It carries a description written for
// people; the error report adds where it happened.
class Failure : public std::exception
{
public:
    explicit Failure(QString description);

    const QString &description() const { return m_description; }
    const char *what() const noexcept override;

private:
    QString m_description;
    QByteArray m_what;
};
