#include "app/look.h"

#include "core/failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QStyle>
#include <QWidget>

QFont DesignedFont()
{
    QFont font(QStringLiteral("Arial"), 9);
    font.setBold(true);
    return font;
}

QIcon StyleWarningIcon()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app ? app->style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon();
}

void ApplySkin(QWidget *window, const QString &programFolder)
{
    const QString path = programFolder + QStringLiteral("/x/o.cjs");
    if (!QFile::exists(path))
        return;

    // Under a skin the designed white gives way to the desktop's button face.
    auto buttonFace = [](QWidget *widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Button));
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    };
    buttonFace(window);
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(child) || qobject_cast<QCheckBox *>(child)
            || qobject_cast<QGroupBox *>(child) || qobject_cast<QLabel *>(child))
            buttonFace(child);
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(
            QStringLiteral("The skin %1 cannot be loaded: %2").arg(path, file.errorString()));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString sheet = decoder(file.readAll());
    if (decoder.hasError())
        throw Failure(QStringLiteral("The skin %1 cannot be loaded: it is not a UTF-8 style sheet.")
                          .arg(path));
    window->setStyleSheet(sheet);
}

PointerRule::PointerRule(QWidget *window) : QObject(window), m_window(window)
{
    addResettingArea(window);
}

void PointerRule::addButton(QWidget *button)
{
    m_buttons.insert(button);
    button->installEventFilter(this);
}

void PointerRule::addResettingArea(QWidget *area)
{
    m_resetting.insert(area);
    area->installEventFilter(this);
    // Coming back from a button onto an area's own background enters nothing (the area was
    // never left), so the area follows the pointer's moves over it to give back the arrow.
    area->setMouseTracking(true);
}

void PointerRule::setPointer(Pointer pointer)
{
    m_pointer = pointer;
    switch (pointer) {
    case Pointer::Default:
        m_window->unsetCursor();
        break;
    case Pointer::Hourglass:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case Pointer::Custom:
        if (m_custom)
            m_window->setCursor(*m_custom);
        else
            m_window->unsetCursor();
        break;
    }
}

bool PointerRule::eventFilter(QObject *watched, QEvent *event)
{
    const bool entered = event->type() == QEvent::Enter;
    const bool moved = event->type() == QEvent::MouseMove;
    if ((entered || moved) && m_pointer != Pointer::Hourglass) {
        if (m_buttons.contains(watched) && m_pointer != Pointer::Custom)
            setPointer(Pointer::Custom);
        else if (m_resetting.contains(watched) && m_pointer != Pointer::Default
                 && (entered || overOwnBackground(watched, event)))
            setPointer(Pointer::Default);
    }
    return QObject::eventFilter(watched, event);
}

bool PointerRule::overOwnBackground(QObject *area, QEvent *move) const
{
    // A move over a child that passes it on reaches the area too; only the area's own
    // background, or a child that resets as well, gives the arrow.
    const QPoint at = static_cast<QMouseEvent *>(move)->position().toPoint();
    QWidget *child = static_cast<QWidget *>(area)->childAt(at);
    return !child || m_resetting.contains(child);
}

void ApplyDesignedLook(QWidget *window)
{
    QPalette white = window->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    window->setPalette(white);
    window->setAutoFillBackground(true);
    window->setFont(DesignedFont());
}

QPushButton *NamedButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(caption);
    return button;
}
