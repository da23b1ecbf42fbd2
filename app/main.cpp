// vornbsl: the firmware updater's window.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/EventPump.h"
#include "app/TfrmMain.h"
#include "feedback/TfrmWeb.h"

namespace {

// An exception that escapes an event handler is shown, and the program ends.
class VornApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            Fatal(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            Fatal(QStringLiteral("Unknown exception"));
        }
        return false;
    }
    static void Fatal(const QString& what) {
        QMessageBox::critical(nullptr, QStringLiteral("VornBSL"), what);
        std::exit(1);
    }
};

constexpr const char* kUsage =
    "usage: vornbsl [-factory] [-rep]\n"
    "  -factory      factory mode: firmware made for another kind of instrument may be loaded\n"
    "                after a question; no newer-firmware question\n"
    "  -rep          accepted, changes nothing (the firmware file can always be chosen)\n"
    "  -h, --help    this text\n"
    "  -V, --version the program's version\n"
    "The window updates an instrument; vornbsl-cli does the same without a display.\n";

// What is answered without a window: the help, the version, and that there is no display
// to show one on (the toolkit would abort).
int WithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version" || a == "-V") {
            std::printf("vornbsl %s\n", VORN_VERSION_STRING);
            return 0;
        }
    }
#ifndef _WIN32
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool own = platform && *platform && std::string(platform).rfind("xcb", 0) != 0 &&
                     std::string(platform).rfind("wayland", 0) != 0;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!own && !(x && *x) && !(wayland && *wayland)) {
        std::fputs("vornbsl: no display to show the window on (DISPLAY is not set); vornbsl-cli updates without one\n",
                   stderr);
        return 1;
    }
#endif
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int done = WithoutWindow(argc, argv); done >= 0) return done;
    VornApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VornBSL"));
    QApplication::setOrganizationName(QStringLiteral("Vornell Devices, Inc"));
    QApplication::setApplicationVersion(QStringLiteral(VORN_VERSION_STRING));
    // Installed, the desktop entry and the icon theme know the program by these names.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vornell.VornBSL"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vornbsl")));
    try {
        InstallQtEventPump();
        QStringList args = QApplication::arguments();
        args.removeFirst();
        TfrmMain window(args);
        TfrmWeb feedback(&window);
        window.SetFeedbackWindow(&feedback);
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        VornApplication::Fatal(QString::fromLocal8Bit(e.what()));
    }
    return 1;
}
