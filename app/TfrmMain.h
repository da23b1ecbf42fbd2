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

    // State other parts of the program read.
    bool Busy() const { return busy_; }
    bool KeepRunning() const { return keepRunning_; }
    bool FactoryMode() const { return factoryMode_; }
    bool FindAllPorts() const { return findAllPorts_; }
    bool VerboseLog() const { return verboseLog_; }
    bool ReplaceSerialNumber() const { return replaceSerialNumber_; }
    bool KeepData() const { return keepData_; }
    const QString& SelectedPortName() const { return selectedPortName_; }
    int SelectedPortIndex() const { return selectedPortIndex_; }
    QString SelectedPortDescription() const;
    const QString& DeviceName() const { return deviceName_; }
    const QString& UserFolder() const { return userFolder_; }
    const QString& ErrorLogPath() const { return errorLogPath_; }
    const QString& SettingsPath() const { return settingsPath_; }
    const std::vector<CommPortEntry>& PortList() const { return portList_; }
    // The updater's log, bootloader client and session; null before the window is shown.
    VornLog* Log() const;
    VornBSLHost* BslHost() const;
    Vorn_protocol* Session() const;
    uint32_t FirmwareVersion() const;
    DeviceProfile& ConnectedProfile() { return profile_; }
    int ProgressStep() const { return progress_.step; }
    float ProgressIncrement() const { return progress_.increment; }
    float& ProgressPosition() { return progress_.position; }

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
    // Fills portList_ from the port source; the number of entries (none when the list's
    // status is below `lowestGoodStatus`).
    int EnumeratePorts(int32_t lowestGoodStatus);
    void FillPortBox(int count);
    void SetDefaultButton(QPushButton* button);
    // Disables what must wait while the instrument is worked on, and enables it again.
    void BeginWork();
    void FinishUpdate();
    vorn::update::UpdateRequest Request() const;

    // Window state.
    bool busy_ = false;
    bool keepRunning_ = true;
    bool factoryMode_ = false;
    bool findAllPorts_ = false;
    bool verboseLog_ = true;
    bool replaceSerialNumber_ = false;
    bool keepData_ = false;
    bool shown_ = false;
    bool closingDirectly_ = false;
    QString selectedPortName_;
    int selectedPortIndex_ = 0;
    std::vector<CommPortEntry> portList_;
    QString deviceName_ = QStringLiteral("Instrument");
    QString userFolder_;
    QString errorLogPath_;
    QString settingsPath_;
    DeviceProfile profile_;
    ProgressScale progress_;
    QStringList arguments_;

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
    QAction* DontEraseData1 = nullptr;
    QAction* PromptforSerialNumber1 = nullptr;
    QAction* Help2 = nullptr;
    QAction* SendFeedbacktoVornell1 = nullptr;
    QAction* CheckforUpdates1 = nullptr;
    QAction* About1 = nullptr;
};
