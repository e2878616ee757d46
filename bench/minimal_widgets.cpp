// The baseline of the resource benchmark: the smallest Qt Widgets program that shows a window
// of the same size and title as Trovanel's.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Trovanel"));
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.resize(1064, 381);
    window.show();
    return QApplication::exec();
}
