// vornbsl: the firmware updater's window.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>

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

}  // namespace

int main(int argc, char** argv) {
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
