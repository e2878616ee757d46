// A second baseline of the resource benchmark: the smallest Qt Widgets program whose window lays
// out a line of text in Trovanel's font before it is first shown. The first baseline shows a
// label at a size given outright, so it finds no font until it paints, after its window is on
// screen; any window with a layout finds its font first, and this one tells how much of
// Trovanel's start-up that is.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Trovanel"), &window));
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.resize(1064, 381);
    window.show();
    return QApplication::exec();
}
