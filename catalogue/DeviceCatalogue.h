#pragma once
// The fixed knowledge of the devices the updater can handle: one row per family with its
// code, display name, update steps, restart wait, supported versions, memory layout and
// bootloader speed; and the identification of a device from its identity text.
#include <cstdint>
#include <string>
#include <string_view>

enum DeviceFamily : int8_t {
    UNKNOWN = 0,
    KT7 = 1,
    KT7R = 2,
    KT72 = 3,
    QV = 4,
    RL = 5,
    HMINI = 6,
    TL = 7,
    CF22 = 8,
    VM = 9,
    DIGITAL_SENSOR = 10,
    SWXR = 11,
    H7S = 12,
    GLX = 13,
    RW = 14,
    HN9 = 15,
    KSR = 16,
    PTX9 = 17,
    ZQ8 = 18,
    MYR = 19,
    HBA = 20,
    FIELDPT = 21,
    HN9OPX = 22,
    BLI = 23,
    END = 24,
};

struct DeviceProfile {
    static constexpr size_t kDisplayNameMax = 32;
    static constexpr size_t kIdentityTextMax = 21;

    int8_t family = UNKNOWN;
    std::string displayName;
    std::string identityText;
    uint32_t version = 0;
    uint32_t restartWaitMs = 0;
    bool saveSettings = false;
    bool eraseDataAfterUpdate = false;
    bool checkBattery = false;
    bool loginBeforeSettings = false;
    bool setClockAfterUpdate = false;
    bool versionSupported = false;
    bool firmwareCheckInit = false;
    bool calibrationReminder = false;
    uint32_t flashStart = 0;
    uint32_t flashEnd = 0;
    bool extendedAddressing = false;
    uint32_t infoStart = 0;
    uint32_t infoSegmentCount = 0;
    uint32_t infoSegmentSize = 0;
    uint32_t bootloaderBaud = 0;
    uint32_t minVersion = 0;
    uint32_t maxVersion = 0;
    bool hasVersionWindow = false;
};

namespace vorn::catalogue {

inline constexpr size_t kCodeWordMax = 19;
inline constexpr uint32_t kNeverSupported = UINT32_MAX;  // minimum version that no device reaches

// Code ("KT72"), display name ("Kt72") and the update-erases-stored-data flag of a family
// value 0 to 24; values outside the table give "UNKNOWN" and false.
std::string_view FamilyCode(int family);
std::string_view FamilyDisplayName(int family);
bool UpdateErasesStoredData(int family);
// The family whose firmware this updater carries: the window names it until a firmware
// file is opened, and its help says what an update does to it.
inline constexpr int kProductFamily = RW;
// The first family whose loader answers at another speed than the command line: where an
// update looks for a loader when nothing answers at the command speed.
int FamilyOfOtherLoaderSpeed();

}  // namespace vorn::catalogue

// Reads an identity text ("KT72 1.03") into `profile`. 1 when the code is known; kNotUnderstood when
// the text cannot be read (profile untouched) or the code is not in the table (UNKNOWN
// profile with the version read); kMissingArgument when `text` is empty or `profile` missing. A text
// without "." carries no version: it gives the UNKNOWN profile with version 0 and 1.
int32_t IdentifyDevice(std::string_view text, DeviceProfile* profile);

// Fills `profile` for a family and version from the table (all fields reset first).
void LoadFamilyProfile(int family, uint32_t version, DeviceProfile* profile);
