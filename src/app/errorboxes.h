#pragma once

#include "core/errorreport.h"

#include <QList>
#include <QObject>

// The "Application Error" boxes: how the program shows a failed step's report. main() owns
// them and makes them the reports' sink; they live as long as the program.
//
// A report that repeats one whose box is open, or waiting, is dropped, so a fault that repeats
// every second cannot stack boxes. Another report from the same place, or with the same words,
// waits until that box is closed, so steps failing for one cause come one box at a time. A
// place has one report waiting at most: its newest.
class ErrorBoxes : public QObject
{
    Q_OBJECT

public:
    explicit ErrorBoxes(QObject *parent = nullptr) : QObject(parent) { }
    // Reports made after these boxes are gone go to the standard error stream.
    ~ErrorBoxes() override;

    // Shows the report as a warning box, or has it wait. Without a widget application (a
    // tool) it goes to the standard error stream.
    void show(const ErrorReport::Report &report);
    // Makes these boxes the reports' sink.
    void install();

    // How many boxes are open now.
    int openBoxCount() const { return int(m_open.size()); }

private:
    struct OpenBox
    {
        const QObject *box;
        ErrorReport::Report report;
    };

    bool mustWait(const ErrorReport::Report &report) const;
    void openBox(const ErrorReport::Report &report);
    void forget(const QObject *box);
    void showWaiting();

    bool m_installed = false;
    QList<OpenBox> m_open;
    // Reports that wait for a box with the same place or the same words to close; one a place.
    QList<ErrorReport::Report> m_waiting;
};
