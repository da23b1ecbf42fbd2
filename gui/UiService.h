#pragma once
// Every message box and file dialog of the program goes through one UiService, so tests
// can script the user's answers and read what was shown. The real one shows Qt dialogs;
// ScriptedUi (tests) records each box and answers from a queue.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

class UiService {
public:
    enum class Kind { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Plain = 4 };  // Plain: no icon
    enum class Answer { Ok, Cancel };

    virtual ~UiService() = default;
    // One-button box (OK), modal, on top of `parent`.
    virtual void Message(QWidget* parent, const QString& title, const QString& text, Kind kind) = 0;
    // OK/Cancel box with the exclamation icon; answers which button was pressed. Enter
    // presses OK, or Cancel when `byDefault` is Cancel (a question whose OK changes an
    // instrument in a way that cannot be taken back).
    virtual Answer Confirm(QWidget* parent, const QString& title, const QString& text, Answer byDefault) = 0;
    Answer Confirm(QWidget* parent, const QString& title, const QString& text) {
        return Confirm(parent, title, text, Answer::Ok);
    }
    // OK-only box with the exclamation icon (the close guard), shown without waiting for
    // its OK: what runs behind it goes on.
    virtual void Notice(QWidget* parent, const QString& title, const QString& text) = 0;
    // File dialogs: the chosen path, or empty when cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter,
                             const QString& defaultSuffix) = 0;
    // The system beep for a box of this kind.
    virtual void Beep(Kind kind) = 0;

    // The one service of the process; the real dialogs unless a test installed another.
    static UiService& Get();
    static void Install(UiService* service);  // nullptr restores the real dialogs
};

// Real Qt dialogs.
class QtUiService : public UiService {
public:
    void Message(QWidget* parent, const QString& title, const QString& text, Kind kind) override;
    using UiService::Confirm;
    Answer Confirm(QWidget* parent, const QString& title, const QString& text, Answer byDefault) override;
    void Notice(QWidget* parent, const QString& title, const QString& text) override;
    QString OpenFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter) override;
    QString SaveFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter,
                     const QString& defaultSuffix) override;
    void Beep(Kind kind) override;
};

// For tests: records every box, answers questions and file dialogs from queues (Cancel
// and empty when a queue runs dry), and can run a callback while a box is "open".
class ScriptedUi : public UiService {
public:
    struct Shown {
        QString what;  // "message", "confirm", "notice", "open", "save"
        QString title;
        QString text;
        Kind kind = Kind::Warning;
        bool cancelByDefault = false;  // a confirmation whose default button is Cancel
    };
    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::deque<QString> files;
    std::vector<Kind> beeps;
    std::function<void(const Shown&)> onShow;  // runs as the box is shown

    void Message(QWidget* parent, const QString& title, const QString& text, Kind kind) override;
    using UiService::Confirm;
    Answer Confirm(QWidget* parent, const QString& title, const QString& text, Answer byDefault) override;
    void Notice(QWidget* parent, const QString& title, const QString& text) override;
    QString OpenFile(QWidget*, const QString& title, const QString& dir, const QString& filter) override;
    QString SaveFile(QWidget*, const QString& title, const QString& dir, const QString& filter,
                     const QString& defaultSuffix) override;
    void Beep(Kind kind) override { beeps.push_back(kind); }

    // Titles and texts of the boxes shown so far, for assertions.
    QStringList Titles() const;
    QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

private:
    void Shoot(QWidget* parent, const Shown& box) const;
};
