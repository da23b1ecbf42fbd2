// The real message boxes: texts that carry file names, USB product strings or device
// answers are shown as they are, never rendered as markup.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "gui/UiService.h"

TEST(QtUiService, BoxesShowMarkupAsText) {
    const QString text = QStringLiteral("The file \"<b>fw</b><img src=x>.txt\" is not a valid firmware file.");
    QtUiService service;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    // Read the box while it is open, then answer it.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        shown = label->text();
        format = label->textFormat();
        box->accept();
    });
    service.Message(nullptr, QStringLiteral("File Error"), text, UiService::Kind::Error);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(format, Qt::PlainText);
}

// Enter presses the default button: OK for the questions that only confirm, Cancel for
// those whose OK changes an instrument for good.
TEST(QtUiService, ConfirmPressesItsDefaultButtonOnEnter) {
    for (UiService::Answer byDefault : {UiService::Answer::Ok, UiService::Answer::Cancel}) {
        QtUiService service;
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
        });
        EXPECT_EQ(service.Confirm(nullptr, QStringLiteral("Restore Saved Settings"), QStringLiteral("Whose?"), byDefault),
                  byDefault);
    }
}

// The close guard's box is shown and not waited for: the update behind it goes on. A
// second try to close brings the same box forward instead of another.
TEST(QtUiService, TheCloseGuardsBoxDoesNotStopWhatRunsBehindIt) {
    QtUiService service;
    bool ranBehind = false;
    QTimer::singleShot(0, [&] { ranBehind = true; });
    service.Notice(nullptr, QStringLiteral("Don't Quit Now!"), QStringLiteral("Updating."));
    service.Notice(nullptr, QStringLiteral("Don't Quit Now!"), QStringLiteral("Updating."));
    int boxes = 0;
    QMessageBox* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            ++boxes;
            shown = box;
        }
    EXPECT_FALSE(ranBehind);  // returned at once, before any event ran
    ASSERT_EQ(boxes, 1);
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Don't Quit Now!"));
    QApplication::processEvents();
    EXPECT_TRUE(ranBehind);
    shown->accept();
}
