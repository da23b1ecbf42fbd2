#include "app/TfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <stdexcept>

#include "app/AutoSizeLabel.h"
#include "app/PortComboBox.h"
#include "app/QtPortSource.h"
#include "gui/UiService.h"
#include "feedback/TfrmWeb.h"
#include "bsl/VornBSLHost.h"
#include "app/WindowUpdateUi.h"
#include "session/Vorn_protocol.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"
#include "update/UpdateTexts.h"
#include "update/Updater.h"
#include "update/UserFolder.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "serial/VornSerial.h"

namespace {

constexpr const char* kOrganisation = "Vornell Devices, Inc";
constexpr const char* kApplication = "VornBSL";
constexpr uint32_t kVerboseLevel = VornLog::kDetails;
constexpr uint32_t kQuietLevel = VornLog::kFailures;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The product picture: a small field logger drawn in place of the resource bitmap.
QPixmap ProductPicture() {
    QPixmap pix(48, 48);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 60, 80), 1.5));
    p.setBrush(QColor(230, 200, 60));
    p.drawRoundedRect(QRectF(8, 4, 32, 40), 5, 5);
    p.setBrush(QColor(30, 45, 60));
    p.drawRect(QRectF(13, 9, 22, 12));
    p.setPen(QPen(QColor(120, 230, 140), 1.5));
    p.drawPolyline(QPolygonF({QPointF(15, 18), QPointF(19, 14), QPointF(23, 17), QPointF(27, 11), QPointF(33, 15)}));
    p.setPen(QPen(QColor(40, 60, 80), 1.5));
    p.setBrush(QColor(90, 90, 90));
    p.drawEllipse(QPointF(18, 32), 3, 3);
    p.drawEllipse(QPointF(30, 32), 3, 3);
    p.drawLine(QPointF(24, 44), QPointF(24, 47));
    return pix;
}

AutoSizeLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, bool bold = false,
                         bool wrap = false) {
    auto* label = new AutoSizeLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(wrap);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->setText(text);
    return label;
}

QAction* MakeAction(QMenu* menu, const char* name, const QString& text, const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    return action;
}

std::vector<std::string> ToStd(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

}  // namespace

TfrmMain::TfrmMain(QStringList arguments, QWidget* parent) : QMainWindow(parent), model_(ToStd(arguments)) {
    setObjectName("frmMain");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The window is laid out for an 8 point sans serif of Arial's metrics.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);
    BuildMenus();
    BuildControls();
    int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    Image1 = new QLabel(client);
    Image1->setObjectName("Image1");
    Image1->setGeometry(16, 16, 48, 48);
    Image1->setPixmap(ProductPicture());
    userText1 = MakeLabel(client, "userText1", "This utility updates instrument firmware to", {76, 24, 192, 13});
    userText2 = MakeLabel(client, "userText2", "Instrument x.yy", {76, 40, 224, 34}, true, true);
    lblConnect = MakeLabel(client, "lblConnect", "Connect instrument to computer comm port.", {12, 80, 247, 13}, true);

    Panel1 = new QWidget(client);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 106, 310, 153);
    commLabel = MakeLabel(Panel1, "commLabel", "Use computer comm port:", {12, 8, 121, 13});
    auto* combo = new PortComboBox(Panel1);
    cbCommPort = combo;
    cbCommPort->setObjectName("cbCommPort");
    cbCommPort->setGeometry(12, 24, 288, 21);
    QFont bold = cbCommPort->font();
    bold.setBold(true);
    cbCommPort->setFont(bold);
    cbCommPort->setToolTip("Pick your comm port from this list.");
    Label1 = MakeLabel(Panel1, "Label1", "Status:", {12, 64, 41, 13}, true);
    statusText = MakeLabel(Panel1, "statusText", "statusText", {56, 64, 49, 13});
    statusText->setVisible(false);
    statusBar = new QProgressBar(Panel1);
    statusBar->setObjectName("statusBar");
    statusBar->setGeometry(12, 80, 288, 17);
    statusBar->setRange(0, 100);
    statusBar->setValue(0);
    statusBar->setTextVisible(false);
    newSN = MakeLabel(Panel1, "newSN", "New Serial Number", {12, 104, 91, 13});
    newSN->setVisible(false);
    newSNstr = new QLineEdit(Panel1);
    newSNstr->setObjectName("newSNstr");
    newSNstr->setGeometry(12, 120, 93, 21);
    newSNstr->setMaxLength(15);
    newSNstr->setVisible(false);
    btnClose = new QPushButton("Close", Panel1);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(144, 120, 75, 25);
    btnStart = new QPushButton("Start", Panel1);
    btnStart->setObjectName("btnStart");
    btnStart->setGeometry(225, 120, 75, 25);
    SetDefaultButton(btnStart);

    setTabOrder(btnStart, cbCommPort);
    setTabOrder(cbCommPort, statusBar);
    setTabOrder(statusBar, newSNstr);
    setTabOrder(newSNstr, btnClose);

    timerStart = new QTimer(this);
    timerStart->setObjectName("timerStart");
    timerStart->setSingleShot(true);
    timerStart->setInterval(kStartDelayMs);

    connect(combo, &PortComboBox::dropDown, this, &TfrmMain::cbCommPortDropDown);
    connect(cbCommPort, &QComboBox::activated, this, &TfrmMain::cbCommPortChange);
    connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmMain::btnCloseClick);
    connect(timerStart, &QTimer::timeout, this, &TfrmMain::timerStartTimer);
}

void TfrmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    File1 = bar->addMenu("&File");
    File1->setObjectName("File1");
    OpenFirmwareFile1 = MakeAction(File1, "OpenFirmwareFile1", "&Open Firmware File...", QKeySequence("Ctrl+O"));
    OpenFirmwareFile1->setEnabled(false);
    UpdateFirmware1 = MakeAction(File1, "UpdateFirmware1", "&Update Firmware", QKeySequence("Ctrl+F"));
    RestoreSettings1 = MakeAction(File1, "RestoreSettings1", "&Restore Settings...");
    DumpFirmwareImage1 = MakeAction(File1, "DumpFirmwareImage1", "&Dump Firmware Image...", QKeySequence("Ctrl+Alt+D"));
    DumpFirmwareImage1->setVisible(false);
    File1->addSeparator()->setObjectName("N1");
    Exit1 = MakeAction(File1, "Exit1", "&Exit", QKeySequence("Ctrl+Q"));

    Edit1 = bar->addMenu("&Settings");
    Edit1->setObjectName("Edit1");
    VerboseErrorFile1 = MakeAction(Edit1, "VerboseErrorFile1", "&Verbose Error File");
    VerboseErrorFile1->setCheckable(true);
    VerboseErrorFile1->setChecked(true);
    VerboseErrorFile1->setEnabled(false);
    ForceFindAllCommPorts1 = MakeAction(Edit1, "ForceFindAllCommPorts1", "Force Find All &Comm Ports");
    ForceFindAllCommPorts1->setCheckable(true);
    RecordWireTranscript1 = MakeAction(Edit1, "RecordWireTranscript1", "Record Wire &Transcript");
    RecordWireTranscript1->setCheckable(true);
    RecordWireTranscript1->setToolTip("Each update keeps every byte on the wire for Vornell's support; "
                                      "Send Feedback to Vornell... sends the last one with the log");
    DontEraseData1 = MakeAction(Edit1, "DontEraseData1", "&Don't Erase Data");
    DontEraseData1->setCheckable(true);
    DontEraseData1->setVisible(false);
    PromptforSerialNumber1 = MakeAction(Edit1, "PromptforSerialNumber1", "&Replace Serial Number");
    PromptforSerialNumber1->setCheckable(true);
    PromptforSerialNumber1->setVisible(false);

    Help1 = bar->addMenu("&Help");
    Help1->setObjectName("Help1");
    Help2 = MakeAction(Help1, "Help2", "&Help", QKeySequence(Qt::Key_F1));
    SendFeedbacktoVornell1 = MakeAction(Help1, "SendFeedbacktoVornell1", "Send Feedback to Vornell...");
    CheckforUpdates1 = MakeAction(Help1, "CheckforUpdates1", "Check for Newer Firmware Version");
    Help1->addSeparator()->setObjectName("N2");
    About1 = MakeAction(Help1, "About1", "&About...");

    connect(OpenFirmwareFile1, &QAction::triggered, this, &TfrmMain::OpenFirmwareFile1Click);
    connect(UpdateFirmware1, &QAction::triggered, this, &TfrmMain::UpdateFirmware1Click);
    connect(RestoreSettings1, &QAction::triggered, this, &TfrmMain::RestoreSettings1Click);
    connect(Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);
    connect(VerboseErrorFile1, &QAction::triggered, this, &TfrmMain::VerboseErrorFile1Click);
    connect(ForceFindAllCommPorts1, &QAction::triggered, this, &TfrmMain::ForceFindAllCommPorts1Click);
    connect(RecordWireTranscript1, &QAction::triggered, this,
            [this] { model_.SetRecordTranscript(RecordWireTranscript1->isChecked()); });
    connect(DontEraseData1, &QAction::triggered, this, &TfrmMain::DontEraseData1Click);
    connect(PromptforSerialNumber1, &QAction::triggered, this, &TfrmMain::PromptforSerialNumber1Click);
    connect(SendFeedbacktoVornell1, &QAction::triggered, this, &TfrmMain::SendFeedbacktoVornell1Click);
    connect(CheckforUpdates1, &QAction::triggered, this, &TfrmMain::CheckforUpdates1Click);
    connect(Help2, &QAction::triggered, this, &TfrmMain::Help2Click);
    connect(About1, &QAction::triggered, this, &TfrmMain::About1Click);
    connect(DumpFirmwareImage1, &QAction::triggered, this, &TfrmMain::DumpFirmwareImage1Click);
    // The dump item is hidden, and a hidden item's short-cut does not fire: the window
    // carries the short-cut itself.
    auto* dump = new QShortcut(DumpFirmwareImage1->shortcut(), this);
    dump->setObjectName("DumpShortcut");
    connect(dump, &QShortcut::activated, this, &TfrmMain::DumpFirmwareImage1Click);
}

void TfrmMain::SetDefaultButton(QPushButton* button) {
    btnStart->setDefault(button == btnStart);
    btnClose->setDefault(button == btnClose);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TfrmMain::FormShow() {
    setWindowTitle(Caption());
    QApplication::setApplicationName(Caption());

    // Preferences; a store that cannot be read leaves the defaults.
    vorn::window::Preferences saved;
    {
        QSettings prefs(kOrganisation, kApplication);
        if (prefs.status() == QSettings::NoError) {
            if (prefs.contains("FindAllComms")) saved.findAllComms = prefs.value("FindAllComms").toInt() != 0;
            if (prefs.contains("CommPort")) saved.commPort = prefs.value("CommPort").toString().toStdString();
            if (prefs.contains("RecordTranscript")) saved.recordTranscript = prefs.value("RecordTranscript").toInt() != 0;
        }
    }
    model_.RestorePreferences(saved);

    // Per-user folder, else the program's own folder; the log, the bootloader client and
    // the session live in the updater.
    updater_ = std::make_unique<vorn::update::Updater>(vorn::update::UpdaterSetup::ForThisUser(
        QCoreApplication::applicationDirPath().toStdString(), kVerboseLevel));
    userFolder_ = QDir::toNativeSeparators(QString::fromStdString(updater_->UserFolder()));
    errorLogPath_ = QString::fromStdString(updater_->ErrorLogPath());
    if (int32_t status = updater_->ConstructionStatus(); status != 0) {
        Log()->Log(VornLog::kFailures, Caption().toStdString().c_str(), "HostBSL class got an constructor error (%d)", status);
        throw std::runtime_error("HostBSL class got an constructor error (" + std::to_string(status) + ")");
    }
    updater_->Host().SetProgressReport([this](long total, long done, int stage, int code) {
        return ReportProgress(total, done, stage, code);
    });
    enumSerial_ = std::make_unique<VornSerial>(Log());
    if (!portSource_) {
        systemPorts_ = std::make_unique<QtPortSource>(Log());
        portSource_ = systemPorts_.get();
    }

    model_.Show(ListPorts(0));
    ForceFindAllCommPorts1->setChecked(model_.FindAllPorts());
    VerboseErrorFile1->setChecked(model_.VerboseLog());
    RecordWireTranscript1->setChecked(model_.RecordTranscript());
    ApplyPortItems();
    ApplyLabels();
    ApplyView();

    // Centred on the screen.
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

std::vector<CommPortEntry> TfrmMain::ListPorts(int32_t lowestGoodStatus) {
    return vorn::update::Updater::ListPorts(*portSource_, model_.FindAllPorts(), lowestGoodStatus);
}

void TfrmMain::ApplyView() {
    const vorn::window::View& v = model_.Now();
    btnStart->setEnabled(v.startEnabled);
    btnClose->setEnabled(v.closeEnabled);
    SetDefaultButton(v.closeIsDefault ? btnClose : btnStart);
    cbCommPort->setEnabled(v.portBoxEnabled);
    OpenFirmwareFile1->setEnabled(v.openItemEnabled);
    UpdateFirmware1->setEnabled(v.updateItemEnabled);
    RestoreSettings1->setEnabled(v.restoreItemEnabled);
    DontEraseData1->setVisible(v.factoryItemsVisible);
    PromptforSerialNumber1->setVisible(v.factoryItemsVisible);
    PromptforSerialNumber1->setChecked(v.replaceSerialChecked);
    newSNstr->setVisible(v.newSerialVisible);
    newSN->setVisible(v.newSerialVisible);
}

// The labels change at the first show and when a firmware file is opened; during an update
// the update's own lines stand in lblConnect.
void TfrmMain::ApplyLabels() {
    const vorn::window::View& v = model_.Now();
    userText1->setText(Q(v.userText1));
    userText2->setText(Q(v.userText2));
    commLabel->setText(Q(v.commLabel));
    lblConnect->setText(Q(v.lblConnect));
}

void TfrmMain::ApplyPortItems() {
    const vorn::window::View& v = model_.Now();
    cbCommPort->clear();
    for (const std::string& item : v.portItems) cbCommPort->addItem(Q(item));
    if (v.portIndex >= 0 && v.portIndex < cbCommPort->count()) cbCommPort->setCurrentIndex(v.portIndex);
}

VornLog* TfrmMain::Log() const { return updater_ ? &updater_->Log() : nullptr; }
VornBSLHost* TfrmMain::BslHost() const { return updater_ ? &updater_->Host() : nullptr; }
Vorn_protocol* TfrmMain::Session() const { return updater_ ? &updater_->Session() : nullptr; }
uint32_t TfrmMain::FirmwareVersion() const { return updater_ ? updater_->Firmware().version : 0; }

void TfrmMain::cbCommPortDropDown() {
    model_.Relist(ListPorts(1));  // here a list that reports no port at all counts as empty
    ApplyPortItems();
}

void TfrmMain::cbCommPortChange(int index) {
    model_.ChoosePort(index);
    ApplyView();
}

void TfrmMain::btnStartClick() {
    if (!model_.PressStart()) return;
    ApplyView();
    timerStart->start();
}

void TfrmMain::UpdateFirmware1Click() {
    if (!model_.ChooseUpdate()) return;
    timerStart->start();
    ApplyView();
}

void TfrmMain::BeginWork() {
    ApplyView();
    statusBar->setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfrmMain::timerStartTimer() {
    timerStart->stop();
    if (!model_.TimerFired()) return;
    BeginWork();
    WindowUpdateUi ui(*this);
    updater_->Update(model_.Request(windowTitle().toStdString()), ui, updateBody_);
    // The file that holds this unit's settings; the family's name when none does.
    const std::string used = updater_->LastSettingsPath();
    settingsPath_ = QString::fromStdString(used.empty() ? updater_->SettingsPath() : used);
    profile_ = updater_->Profile();
    model_.Finish();
    FinishWork();
}

void TfrmMain::RestoreSettings1Click() {
    if (!model_.MayRestore()) return;
    const QString path = UiService::Get().OpenFile(this, "Please select a settings file", userFolder_,
                                                   "Settings File (*.settings.txt);;Any File (*)");
    if (path.isEmpty()) return;
    model_.BeginRestore();
    BeginWork();
    WindowUpdateUi ui(*this);
    updater_->RestoreSettings(model_.Request(windowTitle().toStdString()), QFile::encodeName(path).toStdString(), ui);
    profile_ = updater_->Profile();
    model_.FinishRestore(updater_->Firmware().family != UNKNOWN);
    FinishWork();
}

void TfrmMain::FinishWork() {
    newSNstr->clear();
    ApplyView();
    QApplication::restoreOverrideCursor();
}

void TfrmMain::OpenFirmwareFile1Click() {
    if (!model_.MayOpenFirmware()) return;  // the menu item is disabled while an update runs
    QString path = UiService::Get().OpenFile(this, "Please select a firmware file", QDir::currentPath(),
                                             "Firmware File (*.txt);;Any File (*)");
    if (path.isEmpty()) return;
    vorn::update::FirmwareLoad load =
        updater_->LoadFirmware(QFile::encodeName(path).toStdString(), windowTitle().toStdString());
    if (load.status < 0) {
        ErrorOK(Q(load.errorText), "File Error", 1);
        return;
    }
    model_.FirmwareOpened(load);
    settingsPath_ = QString::fromStdString(updater_->SettingsPath());
    UiService::Get().Beep(UiService::Kind::Information);
    ApplyLabels();
    ApplyView();
}

void TfrmMain::Help2Click() {
    ErrorOK(Q(vorn::update::texts::HelpText(windowTitle().toStdString(), model_.DeviceName())), "Help",
            static_cast<int>(UiService::Kind::Plain));
}

void TfrmMain::About1Click() {
    ErrorOK(Q(vorn::update::texts::AboutText()),
            Q(vorn::update::texts::AboutCaption(model_.DeviceName())), 2);
}

void TfrmMain::DumpFirmwareImage1Click() {
    QString path = UiService::Get().SaveFile(this, "Save Firmware Image", QDir::currentPath(),
                                             "Firmware File (*.txt);;Any File (*)", "txt");
    if (path.isEmpty()) return;
    int32_t rc = updater_->Host().BSLWriteTIFile(QFile::encodeName(path).toStdString());
    if (rc < 0) ErrorOK("Error saving firmware image: " + QString::number(rc), "Error", 0);
}

void TfrmMain::VerboseErrorFile1Click() {
    model_.SetVerboseLog(VerboseErrorFile1->isChecked());
    if (updater_) updater_->Log().SetLevel(model_.VerboseLog() ? kVerboseLevel : kQuietLevel);
}

void TfrmMain::ForceFindAllCommPorts1Click() { model_.SetFindAllPorts(ForceFindAllCommPorts1->isChecked()); }

void TfrmMain::DontEraseData1Click() { model_.SetKeepData(DontEraseData1->isChecked()); }

void TfrmMain::PromptforSerialNumber1Click() {
    model_.SetReplaceSerialNumber(PromptforSerialNumber1->isChecked());
    ApplyView();
    if (newSNstr->isVisible()) newSNstr->setFocus();
}

void TfrmMain::SendFeedbacktoVornell1Click() {
    if (!frmWeb_) return;
    FeedbackLaunch values;
    values.productName = windowTitle();
    values.productVersion = userText2->text();
    values.defaultRecipient = TfrmWeb::DefaultRecipient();
    values.attachment1 = errorLogPath_;
    // The last update's wire transcript, when one was recorded: it replays what happened.
    values.attachment2 = QString::fromStdString(vorn::update::LastTranscript(updater_->UserFolder()));
    values.startFolder = QCoreApplication::applicationDirPath();
    frmWeb_->SendFeedbacktoVornell(values, Log(), windowTitle());
}

void TfrmMain::btnCloseClick() {
    // The menu path of an update leaves Close enabled: closing then goes through the
    // guard, so an update is never cut off by the Close button.
    closingDirectly_ = !model_.Busy();
    close();
    closingDirectly_ = false;
}

void TfrmMain::Exit1Click() { close(); }

bool TfrmMain::ConfirmClose() {
    const vorn::window::CloseDecision decision = model_.RequestClose(false, windowTitle().toStdString());
    if (!decision.close) {
        UiService::Get().Beep(UiService::Kind::Warning);
        UiService::Get().Notice(this, Q(decision.title), Q(decision.text));  // OK only: the update goes on
    }
    return decision.close;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!closingDirectly_ && !ConfirmClose()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TfrmMain::FormClose() {
    const vorn::window::Preferences kept = model_.ToSave();
    QSettings prefs(kOrganisation, kApplication);
    prefs.setValue("FindAllComms", kept.findAllComms.value_or(false) ? 1 : 0);
    prefs.setValue("VerboseLog", kept.verboseLog.value_or(true) ? 1 : 0);
    prefs.setValue("CommPort", Q(kept.commPort.value_or(std::string())));
    prefs.setValue("RecordTranscript", kept.recordTranscript.value_or(false) ? 1 : 0);
    prefs.sync();
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    // Enter presses the default button, Escape the Cancel button (Close).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* target = btnStart->isDefault() ? btnStart : btnClose;
        if (target->isEnabled()) target->click();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (btnClose->isEnabled()) btnClose->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfrmMain::ErrorOK(const QString& message, const QString& title, int kind) {
    const bool known = kind >= 0 && kind <= 3;
    UiService::Kind k = known ? static_cast<UiService::Kind>(kind) : UiService::Kind::Plain;
    UiService::Get().Beep(known ? k : UiService::Kind::Warning);
    UiService::Get().Message(this, title, message, k);
    if (VornLog* log = Log()) log->Log(VornLog::kFailures, "ErrorOK Told User:", "%s", message.toStdString().c_str());
}

int TfrmMain::AskOkCancel(const QString& message, const QString& title, bool cancelByDefault) {
    const UiService::Answer byDefault = cancelByDefault ? UiService::Answer::Cancel : UiService::Answer::Ok;
    return UiService::Get().Confirm(this, title, message, byDefault) == UiService::Answer::Ok ? 1 : 2;
}

bool TfrmMain::ReportProgress(long, long, int, int code) {
    statusBar->setValue(model_.Progress().Apply(statusBar->value(), code));
    repaint();
    QCoreApplication::processEvents();
    return model_.KeepRunning();
}

void TfrmMain::SetFeedbackWindow(TfrmWeb* web) { frmWeb_ = web; }
