#include "window/MainWindowModel.h"

#include <utility>

namespace vorn::window {

std::string HowToTryAgain() { return "Press Start again with the same firmware file and Comm Port"; }

std::string HowToRestore(const std::string& settingsPath) {
    return settingsPath.empty() ? std::string("choose File > Restore Settings... and open its settings file.")
                                : "choose File > Restore Settings... and open \"" + settingsPath + "\".";
}

MainWindowModel::MainWindowModel(const std::vector<std::string>& arguments) {
    // "-rep" is accepted; opening a firmware file is always possible.
    for (const std::string& argument : arguments)
        if (argument == "-factory") factoryMode_ = true;
}

void MainWindowModel::RestorePreferences(const Preferences& saved) {
    findAllPorts_ = saved.findAllComms.value_or(false);
    verboseLog_ = true;
    savedPortName_ = saved.commPort;
    recordTranscript_ = saved.recordTranscript.value_or(false);
}

void MainWindowModel::Show(std::vector<CommPortEntry> ports) {
    deviceName_ = "Instrument";
    view_.openItemEnabled = true;
    view_.factoryItemsVisible = factoryMode_;
    ports_ = std::move(ports);
    selectedPortIndex_ = 0;
    if (savedPortName_ && !savedPortName_->empty()) {
        // The adapter by its stable name first, wherever its node is now; then the node
        // (what earlier releases kept, and the name of a port without a stable one).
        auto find = [&](std::string CommPortEntry::*field) {
            for (size_t i = 0; i < ports_.size(); ++i)
                if (ports_[i].*field == *savedPortName_) return static_cast<int>(i);
            return -1;
        };
        int at = find(&CommPortEntry::stableName);
        if (at < 0) at = find(&CommPortEntry::name);
        if (at >= 0) selectedPortIndex_ = at;
    }
    FillPortItems();
    SelectEntry(selectedPortIndex_);
    view_.userText1 = "Please select a firmware file to load";
    view_.userText2.clear();
    view_.lblConnect.clear();
    view_.startEnabled = false;
    view_.updateItemEnabled = false;
}

void MainWindowModel::Relist(std::vector<CommPortEntry> ports) {
    ports_ = std::move(ports);
    FillPortItems();
}

void MainWindowModel::FillPortItems() {
    view_.portItems.clear();
    for (const CommPortEntry& e : ports_) view_.portItems.push_back(e.description);
    if (ports_.empty()) {
        view_.portItems.emplace_back(kNoPorts);
        view_.portIndex = 0;
        return;
    }
    // The line chosen before, while the list still reaches it.
    view_.portIndex = static_cast<size_t>(selectedPortIndex_) < ports_.size() ? selectedPortIndex_ : 0;
}

void MainWindowModel::ChoosePort(int index) {
    selectedPortIndex_ = index;
    view_.portIndex = index;
    SelectEntry(index);
    if (!selectedPortName_.empty()) view_.startEnabled = true;
}

void MainWindowModel::SelectEntry(int index) {
    // The "No Comm Ports Found" line stands for no port at all.
    const bool entry = index >= 0 && static_cast<size_t>(index) < ports_.size();
    selectedPortName_ = entry ? ports_[static_cast<size_t>(index)].name : std::string();
    selectedStableName_ = entry ? ports_[static_cast<size_t>(index)].stableName : std::string();
}

std::string MainWindowModel::SelectedPortDescription() const {
    if (selectedPortIndex_ < 0 || static_cast<size_t>(selectedPortIndex_) >= ports_.size()) return {};
    return ports_[static_cast<size_t>(selectedPortIndex_)].description;
}

bool MainWindowModel::PressStart() {
    if (busy_) return false;  // one update at a time
    view_.startEnabled = false;
    view_.closeEnabled = false;
    view_.updateItemEnabled = false;
    return true;
}

// The menu path leaves Close enabled: closing then goes through the guard.
bool MainWindowModel::ChooseUpdate() {
    if (busy_) return false;
    view_.updateItemEnabled = false;
    return true;
}

bool MainWindowModel::TimerFired() {
    if (busy_) return false;
    BeginWork();
    return true;
}

void MainWindowModel::BeginRestore() {
    view_.startEnabled = false;
    view_.closeEnabled = false;
    view_.updateItemEnabled = false;
    BeginWork();
}

void MainWindowModel::BeginWork() {
    view_.portBoxEnabled = false;
    // A new image must not replace the one an upload is reading.
    view_.openItemEnabled = false;
    view_.restoreItemEnabled = false;
    view_.waitCursor = true;
    busy_ = true;
    keepRunning_ = true;
}

void MainWindowModel::Finish() {
    view_.startEnabled = true;
    view_.closeEnabled = true;
    view_.closeIsDefault = true;
    view_.updateItemEnabled = true;
    view_.replaceSerialChecked = false;
    replaceSerialNumber_ = false;
    view_.newSerialVisible = false;
    view_.portBoxEnabled = true;
    view_.openItemEnabled = true;
    view_.restoreItemEnabled = true;
    view_.waitCursor = false;
    busy_ = false;
}

void MainWindowModel::FinishRestore(bool firmwareLoaded) {
    Finish();
    // Start needs a firmware file: a restore may come before any was opened.
    view_.startEnabled = firmwareLoaded;
    view_.updateItemEnabled = firmwareLoaded;
}

void MainWindowModel::FirmwareOpened(const update::FirmwareLoad& load) {
    view_.userText2 = load.fileName;
    view_.userText1 = "This utility updates " + load.deviceName + " firmware to";
    view_.commLabel = "Connect to " + load.deviceName + " with Comm Port";
    deviceName_ = load.deviceName;
    view_.lblConnect = "Connect " + deviceName_ + " to computer comm port.";
    progress_.step = load.progressStep;
    progress_.increment = load.progressIncrement;
    view_.startEnabled = true;
    view_.updateItemEnabled = true;
}

void MainWindowModel::SetReplaceSerialNumber(bool on) {
    replaceSerialNumber_ = on;
    view_.replaceSerialChecked = on;
    view_.newSerialVisible = on;
}

CloseDecision MainWindowModel::RequestClose(bool direct, const std::string& caption) {
    if (direct) return {};
    if (busy_) {
        return {false, "Don't Quit Now!",
                "The " + caption + " is updating your " + deviceName_ + "!\nThis process should NOT be interrupted.\n\n" +
                    "Your " + deviceName_ + " may be unusable or have missing settings\n" +
                    "until you complete the firmware update process.\n\n" + "Click OK to continue updating your" +
                    deviceName_ + ".\n"};
    }
    keepRunning_ = false;
    return {};
}

// The adapter is kept by its stable name where it has one: it may come back under another node.
Preferences MainWindowModel::ToSave() const {
    return {findAllPorts_, verboseLog_, selectedStableName_.empty() ? selectedPortName_ : selectedStableName_,
            recordTranscript_};
}

update::UpdateRequest MainWindowModel::Request(const std::string& caption) const {
    update::UpdateRequest request;
    request.caption = caption;
    request.portName = selectedPortName_;
    request.portDescription = SelectedPortDescription();
    request.factoryMode = factoryMode_;
    request.recordTranscript = recordTranscript_;
    return request;
}

}  // namespace vorn::window
