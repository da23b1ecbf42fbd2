#include "gui/UiService.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>

namespace {
UiService* gInstalled = nullptr;

QMessageBox::Icon IconOf(UiService::Kind kind) {
    switch (kind) {
        case UiService::Kind::Error: return QMessageBox::Critical;
        case UiService::Kind::Information: return QMessageBox::Information;
        case UiService::Kind::Confirmation: return QMessageBox::Question;
        case UiService::Kind::Plain: return QMessageBox::NoIcon;
        case UiService::Kind::Warning: break;
    }
    return QMessageBox::Warning;
}

int Run(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts carry file names, port descriptions and device answers: shown, never rendered.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box.exec();
}
}  // namespace

UiService& UiService::Get() {
    static QtUiService real;
    return gInstalled ? *gInstalled : real;
}

void UiService::Install(UiService* service) { gInstalled = service; }

void QtUiService::Message(QWidget* parent, const QString& title, const QString& text, Kind kind) {
    Run(parent, IconOf(kind), title, text, QMessageBox::Ok, QMessageBox::Ok);
}

UiService::Answer QtUiService::Confirm(QWidget* parent, const QString& title, const QString& text, Answer byDefault) {
    int r = Run(parent, QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                byDefault == Answer::Cancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return r == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

void QtUiService::Notice(QWidget* parent, const QString& title, const QString& text) {
    // Shown, not waited for: the update behind it goes on while it is open. One at a
    // time, however often the user tries to close.
    static QPointer<QMessageBox> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Ok);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box->setAttribute(Qt::WA_DeleteOnClose);
    open = box;
    box->open();
}

QString QtUiService::OpenFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, dir, filter);
}

QString QtUiService::SaveFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter,
                              const QString& defaultSuffix) {
    QFileDialog dialog(parent, title, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void QtUiService::Beep(Kind) { QApplication::beep(); }

// With VORN_SCREENSHOT_DIR set, a scripted box is also drawn as the real one, over its
// parent, and the screen saved there ("box-<n>-<title>.png"), for checking it by eye.
void ScriptedUi::Shoot(QWidget* parent, const Shown& box) const {
    const QString folder = qEnvironmentVariable("VORN_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    QMessageBox real(box.what == "message" ? IconOf(box.kind) : QMessageBox::Warning, box.title, box.text,
                     box.what == "confirm" ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    real.setTextFormat(Qt::PlainText);
    real.setDefaultButton(box.cancelByDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    real.show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    QPixmap screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->grabWindow(0) : QPixmap();
    if (screen.isNull() || screen.size().isEmpty()) screen = real.grab();
    QString name = box.title;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    screen.save(folder + QStringLiteral("/box-%1-%2.png").arg(shown.size()).arg(name));
    real.hide();
}

void ScriptedUi::Message(QWidget* parent, const QString& title, const QString& text, Kind kind) {
    shown.push_back({"message", title, text, kind});
    Shoot(parent, shown.back());
    if (onShow) onShow(shown.back());
}

UiService::Answer ScriptedUi::Confirm(QWidget* parent, const QString& title, const QString& text, Answer byDefault) {
    shown.push_back({"confirm", title, text, Kind::Warning, byDefault == Answer::Cancel});
    Shoot(parent, shown.back());
    if (onShow) onShow(shown.back());
    if (answers.empty()) return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedUi::Notice(QWidget* parent, const QString& title, const QString& text) {
    shown.push_back({"notice", title, text, Kind::Warning});
    Shoot(parent, shown.back());
    if (onShow) onShow(shown.back());
}

QString ScriptedUi::OpenFile(QWidget*, const QString& title, const QString& dir, const QString& filter) {
    shown.push_back({"open", title, dir + "\n" + filter, Kind::Information});
    if (onShow) onShow(shown.back());
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QString ScriptedUi::SaveFile(QWidget*, const QString& title, const QString& dir, const QString& filter,
                             const QString& defaultSuffix) {
    shown.push_back({"save", title, dir + "\n" + filter + "\n" + defaultSuffix, Kind::Information});
    if (onShow) onShow(shown.back());
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QStringList ScriptedUi::Titles() const {
    QStringList out;
    for (const Shown& s : shown) out << s.title;
    return out;
}
