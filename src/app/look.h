#pragma once

#include <QCursor>
#include <QFont>
#include <QObject>
#include <QSet>
#include <optional>

class QIcon;
class QPushButton;
class QWidget;

// The optional skin: <program folder>/x/o.cjs, a Qt style sheet. Without it the window keeps
// its designed white look. Raises a Failure when the file is there but cannot be loaded.
// The designed look's font: Arial 9 point bold, or what the desktop offers in its place.
QFont DesignedFont();
// A push button with its objectName, and its caption as its name for screen readers.
QPushButton *NamedButton(const QString &name, const QString &caption, QWidget *parent);
// The designed look of the main window: white, black text, the designed font.
void ApplyDesignedLook(QWidget *window);

void ApplySkin(QWidget *window, const QString &programFolder);

// The warning icon of the application's style: a failed log's row shows it where the desktop's
// icon theme has none.
QIcon StyleWarningIcon();

// The window-wide pointer: a hand over the buttons, the arrow over the areas that reset it,
// unchanged elsewhere; the hourglass of a long operation always wins.
class PointerRule : public QObject
{
    Q_OBJECT

public:
    enum class Pointer { Default, Hourglass, Custom };

    explicit PointerRule(QWidget *window);

    // The hand image: <program folder>/HAND-M.CUR. Without it the buttons show the arrow.
    void setCustomCursor(const QCursor &cursor) { m_custom = cursor; }
    void addButton(QWidget *button);
    void addResettingArea(QWidget *area);

    Pointer pointer() const { return m_pointer; }
    void setPointer(Pointer pointer);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool overOwnBackground(QObject *area, QEvent *move) const;

    QWidget *m_window;
    std::optional<QCursor> m_custom;
    QSet<QObject *> m_buttons;
    QSet<QObject *> m_resetting;
    Pointer m_pointer = Pointer::Default;
};
