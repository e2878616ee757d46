#include "map/mapwindow.h"

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "core/privatefiles.h"
#include "map/mappoints.h"
#include "map/mapview.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

QPushButton *button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    return b;
}

} // namespace

MapWindow::MapWindow(ResultsList *results, Dialogs *dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("MapWindow"));
    setWindowTitle(tr("Trovanel Map"));
    m_points = new MapPoints(results, this);
    m_view = new MapView(m_points, this);
    m_fit = button(QStringLiteral("MapFit"), tr("Fit"), this);
    m_save = button(QStringLiteral("MapSaveImage"), tr("Save Map As Image"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_fit);
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    setTabOrder(m_view, m_fit);
    setTabOrder(m_fit, m_save);

    connect(m_fit, &QPushButton::clicked, m_view, &MapView::fit);
    connect(m_save, &QPushButton::clicked, this, &MapWindow::saveImage);
}

void MapWindow::saveImage()
{
    StepRunner steps(QStringLiteral("MapWindow"), QStringLiteral("SaveImage"));
    QString path;
    steps.step(100, [&] {
        path = m_dialogs->askSaveFile(tr("Save Map As Image"), {tr("PNG Images (*.png)")});
    });
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().compare(u"png", Qt::CaseInsensitive) != 0)
        path += QStringLiteral(".png");
    steps.step(102, [&] {
        // Written beside the target and put in its place only when complete: a failed save
        // leaves an existing file as it was and no half image behind.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw Failure(tr("The image %1 cannot be written: %2").arg(path, file.errorString()));
        const QFileDevice::Permissions mode = PrivateFiles::keepPrivateWhileWritten(file);
        QImageWriter writer(&file, "png");
        if (!writer.write(m_view->image())) {
            const QString error = writer.errorString();
            file.cancelWriting();
            throw Failure(tr("The image %1 cannot be written: %2").arg(path, error));
        }
        if (!PrivateFiles::putInPlace(file, mode))
            throw Failure(tr("The image %1 cannot be written: %2").arg(path, file.errorString()));
    });
}
