#include "mainwindow.h"

#include <QApplication>
#include <QIcon>
#include <QStatusBar>

int main(int argc, char *argv[])
{
    // A running simulation repaints a few small areas 100 times a second.
    // Through MIT-SHM, each repaint of an area first waits for the X server to
    // have read the last one, a round trip per tick; sent in the request
    // itself, they cost the program and the server less, more than dragging
    // and zooming (which send the whole plot) cost more in normal use. Qt
    // leaves MIT-SHM out whatever the variable's value; the benchmark's build
    // with MIT-SHM leaves it unset.
#ifndef BENCH_WITH_MIT_SHM
    qputenv("QT_XCB_NO_MITSHM", "1");
#endif
    QApplication app(argc, argv);
    // The window's class and, on Wayland, its application id match the
    // installed desktop entry, so the desktop shows the entry's name and
    // icon for it. No display name is set: the window title stays as it is.
    QApplication::setApplicationName(QStringLiteral("engine-simulator"));
    QApplication::setApplicationVersion(QStringLiteral(ENGINE_SIMULATOR_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ENGINE_SIMULATOR_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    MainWindow window(nullptr);
    // The menu launcher's word on where the program runs, when the user's
    // own folder could not be made.
    const QString notice = qEnvironmentVariable("ENGINE_SIMULATOR_NOTICE");
    if (!notice.isEmpty())
        window.statusBar()->showMessage(notice);
    window.show();
    return app.exec();
}
