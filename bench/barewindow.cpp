// A bare main window built with the same toolkit as the program, of the size
// given, with nothing in it: the floor that firstframebench measures the
// program's first frame against. It sends its repaints to the X server as the
// program does, in the requests rather than through MIT-SHM.
//
//   barewindow WIDTH HEIGHT
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QMainWindow window;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3)
        window.resize(arguments[1].toInt(), arguments[2].toInt());
    window.show();
    return QApplication::exec();
}
