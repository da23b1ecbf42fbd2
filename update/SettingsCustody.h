#pragma once
// Custody of the instruments' saved settings. While an instrument is erased, its settings
// file is the only copy of its serial number, calibration, site and credentials. Every
// settings file in the per-user folder is one unit's, named for it when the file is made,
// and carries the journal of the update that holds it: how far it got, on which port,
// with which firmware. Later runs decide from that journal, never by guessing, and the
// only ways a file is made, moved on, set aside or removed are the operations here.
//
// A unit is its family and serial number; a unit that tells no serial number is the file
// itself (the port it was saved on and the time). Files of earlier releases (the
// family's "<device>.settings.txt", the kept "<device>.sn-<serial>.settings.txt", a
// bench's "<device>.port-<port>.settings.txt") are found the same way; they kept no
// journal, so nobody can say how far their update got.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class VornLog;

namespace vorn::update {

// How far the update that holds a settings file got with its instrument. The first five
// are steps of one update, in order; a journal never goes back along them.
enum class Stage {
    kUnknown,         // a file of an earlier release, which kept no journal
    kSaved,           // saved; the instrument was not handed to its loader
    kLoaderStarted,   // its loader was asked for; nothing erased
    kErasing,         // the erase began: from here the instrument may be without its settings
    kUploaded,        // the new firmware was written and started
    kRestoredInPart,  // some of the settings went back, not all
    kSetAside,        // kept, not used: its instrument still held its own settings, or its update
                      // finished without the settings the instrument did not take, as the user chose
    kBackup,          // what an instrument held before a restore replaced it: kept, not used
};
// The journal's word for a stage ("saved", "loader", "erasing" ...), and back (kUnknown
// for anything else).
const char* StageWord(Stage stage);
Stage StageOfWord(std::string_view word);

// One settings file as custody sees it.
struct SavedSettings {
    std::string path;
    int family = 0;            // the family of its type line (UNKNOWN: not a settings file of ours)
    std::string serial;        // the serial number it was saved from, as a file line holds it; empty: none
    std::string savedPort;     // the port it was saved on (a stable name; a node name in files of old)
    std::string lastPort;      // the port of the last run that took it on; savedPort when none did
    std::optional<std::time_t> savedAt;
    std::time_t lastAt = 0;    // when a run last took it on, or it was saved, or else written
    Stage stage = Stage::kUnknown;
    int loading = 0;           // the family of the firmware its update loads (UNKNOWN: not said)

    // Whether its instrument may have been handed to its loader, and may have been
    // erased: a file of an earlier release may have been both.
    bool PastLoader() const;
    bool PastErase() const;
    // Still waiting to go back into its unit: neither set aside nor a backup.
    bool Pending() const { return stage != Stage::kSetAside && stage != Stage::kBackup; }
};

class SettingsCustody {
public:
    // `folder` is the per-user folder; the log may be null.
    SettingsCustody(std::string folder, VornLog* log);

    const std::string& Folder() const { return folder_; }

    // The settings file at `path`; nullopt when it is not a regular file or names no family.
    std::optional<SavedSettings> Read(const std::string& path) const;
    // Every settings file of `family` (or of any, kAnyFamily) directly in the folder
    // (names ending in ".settings.txt"), the one a run last took on first.
    static constexpr int kAnyFamily = -1;
    std::vector<SavedSettings> Files(int family) const;

    // A free name for a new file of a unit: "<device>.sn-<serial>.<UTC time>.settings.txt",
    // or "<device>.no-sn-<port>.<UTC time>.settings.txt" for a unit that tells no serial
    // number; "-2", "-3" ... after the time while the name is taken. The serial number and
    // port become file-name characters (see UserFolder.h).
    std::string NewFilePath(const std::string& deviceName, const std::string& serial, const std::string& port,
                            std::time_t now) const;

    // Moves the file's journal on to `stage` (a step of an update; never back: a file that
    // got past the erase stays past it, and one of an earlier release counts as past it),
    // noting the port and time of the run and the family of the firmware it loads. The
    // settings lines stay byte for byte. 0; a negated C error, and nothing changed.
    int32_t Advance(const std::string& path, Stage stage, const std::string& port, int loading, std::time_t now);
    // Marks a file kSetAside or kBackup: kept for the user, never restored by itself.
    int32_t Keep(const std::string& path, Stage how, std::time_t now);
    // Removes the file. Only the run that wrote every one of its settings back into the
    // unit it belongs to calls this. 0, or a negated C error.
    int32_t Remove(const std::string& path);

private:
    int32_t Rewrite(const std::string& path, Stage stage, const std::string& port, int loading, std::time_t now);

    std::string folder_;
    VornLog* log_;
};

}  // namespace vorn::update
