#pragma once
// The updater's main window: pick a port, open a firmware file, start an update. The
// window wires controls to operations and shows results; the work lives below the Qt
// line. Component names are kept as Qt object names (btnStart, cbCommPort, timerStart ...).
#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "serial/CommPortEnum.h"
#include "update/UpdateSequence.h"
#include "update/UpdateUi.h"
#include "window/MainWindowModel.h"

class QComboBox;
class QLabel;
class AutoSizeLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class VornLog;
class VornSerial;
class VornBSLHost;
class Vorn_protocol;
class TfrmWeb;
namespace vorn::update {
class Updater;
}

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kStartDelayMs = 100;
    static constexpr int kClientWidth = 313;
    static constexpr int kClientHeight = 262;

    // `arguments` is the command line without the program name.
    explicit TfrmMain(QStringList arguments, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Where the port list comes from; the system's serial devices unless a test sets one.
    void SetPortSource(PortSource* source) { portSource_ = source; }
    // The feedback window Help > Send Feedback to Vornell... opens.
    void SetFeedbackWindow(TfrmWeb* web);
    // Replaces the instrument part of the update (tests frame an update of their own);
    // an empty function restores the real sequence.
    void SetUpdateBody(std::function<int32_t()> body) { updateBody_ = std::move(body); }

    // The one-button message box every user-visible failure goes through; logs the text.
    // Kind: 0 warning, 1 error, 2 information, 3 confirmation; any other a plain box
    // with the warning sound.
    void ErrorOK(const QString& message, const QString& title, int kind);
    // OK/Cancel question with the exclamation icon: 1 (OK) or 2 (Cancel).
    int AskOkCancel(const QString& message, const QString& title, bool cancelByDefault = false);
    // Called by the bootloader client during erase ('X') and upload ('W'): moves the bar,
    // keeps the window alive and answers whether to go on.
    bool ReportProgress(long total, long done, int stage, int code);

    // State other parts of the program read: the window model's.
    const vorn::window::MainWindowModel& Model() const { return model_; }
    bool Busy() const { return model_.Busy(); }
    bool KeepRunning() const { return model_.KeepRunning(); }
    bool FactoryMode() const { return model_.FactoryMode(); }
    bool FindAllPorts() const { return model_.FindAllPorts(); }
    bool VerboseLog() const { return model_.VerboseLog(); }
    bool ReplaceSerialNumber() const { return model_.ReplaceSerialNumber(); }
    bool KeepData() const { return model_.KeepData(); }
    QString SelectedPortName() const { return QString::fromStdString(model_.SelectedPortName()); }
    int SelectedPortIndex() const { return model_.SelectedPortIndex(); }
    QString SelectedPortDescription() const { return QString::fromStdString(model_.SelectedPortDescription()); }
    QString DeviceName() const { return QString::fromStdString(model_.DeviceName()); }
    const QString& UserFolder() const { return userFolder_; }
    const QString& ErrorLogPath() const { return errorLogPath_; }
    const QString& SettingsPath() const { return settingsPath_; }
    const std::vector<CommPortEntry>& PortList() const { return model_.PortList(); }
    // The updater's log, bootloader client and session; null before the window is shown.
    VornLog* Log() const;
    VornBSLHost* BslHost() const;
    Vorn_protocol* Session() const;
    uint32_t FirmwareVersion() const;
    DeviceProfile& ConnectedProfile() { return profile_; }
    int ProgressStep() const { return model_.Progress().step; }
    float ProgressIncrement() const { return model_.Progress().increment; }
    float& ProgressPosition() { return model_.Progress().position; }

    static QString Caption() { return QStringLiteral("Vornell Firmware Updater"); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void cbCommPortDropDown();
    void cbCommPortChange(int index);
    void btnStartClick();
    void UpdateFirmware1Click();
    // File > Restore Settings...: writes a settings file back into the instrument on the
    // chosen port, as the end of an update does (no firmware needed).
    void RestoreSettings1Click();
    void timerStartTimer();
    void btnCloseClick();
    void Exit1Click();
    void VerboseErrorFile1Click();
    void ForceFindAllCommPorts1Click();
    void DontEraseData1Click();
    void PromptforSerialNumber1Click();
    void SendFeedbacktoVornell1Click();
    void CheckforUpdates1Click() {}  // no version-finder address: nothing to check
    void OpenFirmwareFile1Click();
    void Help2Click();
    void About1Click();
    void DumpFirmwareImage1Click();

private:
    void BuildControls();
    void BuildMenus();
    void FormShow();
    void FormClose();
    // The close guard; true when the window may close.
    bool ConfirmClose();
    // The ports from the port source (none when the list's status is below `lowestGoodStatus`).
    std::vector<CommPortEntry> ListPorts(int32_t lowestGoodStatus);
    void SetDefaultButton(QPushButton* button);
    // Draw what the model says the window shows now: the controls, the labels, the port list.
    void ApplyView();
    void ApplyLabels();
    void ApplyPortItems();
    // The run has begun or ended: the bar, the cursor, the serial number box.
    void BeginWork();
    void FinishWork();

    vorn::window::MainWindowModel model_;
    bool shown_ = false;
    bool closingDirectly_ = false;
    QString userFolder_;
    QString errorLogPath_;
    QString settingsPath_;
    DeviceProfile profile_;

    // Objects every later operation uses, created when the window is first shown.
    std::unique_ptr<vorn::update::Updater> updater_;
    std::unique_ptr<VornSerial> enumSerial_;
    PortSource* portSource_ = nullptr;
    std::unique_ptr<PortSource> systemPorts_;
    QPointer<TfrmWeb> frmWeb_;
    std::function<int32_t()> updateBody_;

public:
    // Controls and menu items (object names as the components').
    QLabel* Image1 = nullptr;
    AutoSizeLabel* userText1 = nullptr;
    AutoSizeLabel* userText2 = nullptr;
    AutoSizeLabel* lblConnect = nullptr;
    QWidget* Panel1 = nullptr;
    AutoSizeLabel* commLabel = nullptr;
    QComboBox* cbCommPort = nullptr;
    AutoSizeLabel* Label1 = nullptr;
    AutoSizeLabel* statusText = nullptr;
    QProgressBar* statusBar = nullptr;
    AutoSizeLabel* newSN = nullptr;
    QLineEdit* newSNstr = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnStart = nullptr;
    QTimer* timerStart = nullptr;

    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* OpenFirmwareFile1 = nullptr;
    QAction* UpdateFirmware1 = nullptr;
    QAction* RestoreSettings1 = nullptr;
    QAction* DumpFirmwareImage1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* VerboseErrorFile1 = nullptr;
    QAction* ForceFindAllCommPorts1 = nullptr;
    QAction* RecordWireTranscript1 = nullptr;
    QAction* DontEraseData1 = nullptr;
    QAction* PromptforSerialNumber1 = nullptr;
    QAction* Help2 = nullptr;
    QAction* SendFeedbacktoVornell1 = nullptr;
    QAction* CheckforUpdates1 = nullptr;
    QAction* About1 = nullptr;
};
