#pragma once
// End-to-end helpers: a simulated instrument started in-process, an UpdateUi that records
// what the user would have seen and answers questions from a script, and an independent
// reading of TI-Text files to compare the instrument's flash with.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/Instrument.h"
#include "update/UpdateUi.h"

namespace vorn::test {

// A simulated instrument on its own pseudo-terminal (not registered in the port list).
class SimInstrument {
public:
    // `values`: what the unit holds instead of the factory's (vornsim's --value).
    explicit SimInstrument(const std::string& family, uint32_t version,
                           std::map<std::string, std::string> switches = {},
                           std::vector<std::pair<std::string, std::string>> values = {});
    ~SimInstrument();
    vornsim::Simulator& Sim() { return *sim_; }
    const std::string& Port() const { return sim_->SlavePath(); }
    vornsim::InstrumentState Snapshot() { return sim_->WithState([](vornsim::InstrumentState& s) { return s; }); }
    std::string Transcript() { return sim_->HostTranscript(); }

private:
    std::unique_ptr<vornsim::Simulator> sim_;
};

// What an update showed, in order, and how its questions were answered.
class RecordingUi : public UpdateUi {
public:
    struct Box {
        std::string kind;  // "error", "warning", "information", "question"
        std::string title;
        std::string text;
    };
    std::vector<std::string> statuses;
    std::vector<Box> boxes;
    std::deque<bool> answers;  // OK = true; Cancel when the script runs dry
    std::vector<int> progressSeen;
    std::string connectText;
    int progress = 0;
    int uploadReports = 0;
    int eraseReports = 0;

    // Scripted factory choices; a hook may change them while the update runs.
    bool keepData = false;
    bool replaceSerialNumber = false;
    std::string newSerialNumber;
    // Run at every status text and every bar position, after it was recorded.
    std::function<void(const std::string& status)> onStatus;
    std::function<void(int position)> onProgress;

    void ShowStatus(const std::string& text) override {
        statuses.push_back(text);
        if (onStatus) onStatus(text);
    }
    void HideStatus() override {}
    void SetConnectText(ConnectLine, const std::string& text) override { connectText = text; }
    int Progress() const override { return progress; }
    void SetProgress(int position) override {
        progress = position;
        progressSeen.push_back(position);
        if (onProgress) onProgress(position);
    }
    void BeginUpload(float position) override { SetProgress(static_cast<int>(position)); }
    // Runs at every progress report with the code and how many of that code came so far.
    std::function<void(int code, int count)> onReport;
    bool ReportProgress(long, long, int, int code) override {
        int count = code == 'W' ? ++uploadReports : code == 'X' ? ++eraseReports : 0;
        if (onReport) onReport(code, count);
        return true;
    }
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override {
        static const char* kinds[] = {"warning", "error", "information", "confirmation"};
        boxes.push_back({kinds[static_cast<int>(kind)], title, message});
    }
    // What each question's OK risked, in the order asked.
    std::vector<Consent> consents;
    std::vector<std::string> standings;
    bool Ask(const Question& q) override {
        boxes.push_back({"question", q.title, q.text});
        consents.push_back(q.consent);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowStanding(const std::string& text) override { standings.push_back(text); }
    void Beep(BoxKind) override {}
    void PumpEvents() override {}
    bool KeepData() const override { return keepData; }
    bool ReplaceSerialNumber() const override { return replaceSerialNumber; }
    std::string NewSerialNumber() const override { return newSerialNumber; }

    std::vector<std::string> Titles() const;
    bool SawStatus(const std::string& text) const;
    bool SawTitle(const std::string& title) const;
};

// A TI-Text file read byte by byte, independently of the loader under test.
struct TiTextBytes {
    std::map<uint32_t, uint8_t> bytes;        // data outside the vector table
    std::array<uint16_t, 16> vectors{};        // 0xFFFF where the file gives none
};
TiTextBytes ReadTiText(const std::string& text);

// The demo firmware the build generates.
std::string SampleFirmwarePath();

// Firmware for the 16-bit families (the demo image reaches above 64 KiB, which their
// four-digit loader addresses cannot): a small image written to `path`; returns its text.
std::string WriteSixteenBitFirmware(const std::string& path);

// The settings files ("*.settings.txt") directly in `folder`, sorted.
std::vector<std::string> SettingsFilesIn(const std::string& folder);
// The journal word of the settings file at `path` ("saved", "erasing" ...; empty: none).
std::string JournalStage(const std::string& path);
// `text` begins with `start` (a box's own text, before what the update adds).
::testing::AssertionResult StartsWith(const std::string& text, const std::string& start);

// Every data byte of `image` is in the instrument's flash and its vectors match.
::testing::AssertionResult FlashHolds(const vornsim::InstrumentState& state, const TiTextBytes& image);

}  // namespace vorn::test
