#pragma once
// Opening a firmware file for an update: load the TI-Text image into the bootloader
// client, fix the family it is for, and work out what the window (or the terminal) shows.
#include <cstdint>
#include <string>

class VornBSLHost;

namespace vorn::update {

inline constexpr float kUploadBarPoints = 35328.0f;  // 69 points of the bar x 512 characters per report

struct FirmwareLoad {
    int32_t status = 0;       // BSLLoadTIFile's result: 1, or negative
    std::string errorText;    // the "File Error" text when status < 0
    int family = 0;           // the family the image is for (UNKNOWN until a load succeeds)
    uint32_t version = 0;     // the firmware version held for the image
    std::string deviceName;   // display name of the family the image is for
    std::string fileName;     // base name the host keeps
    std::string path;         // the file as opened
    int progressStep = 1;     // bar points per erase report
    float progressIncrement = 0.0f;  // bar points per upload report
};

// Loads `path` into `host`. Every image is taken to be firmware for the Readwell; no
// version is held for it (0). `caption` names the program in the error texts.
FirmwareLoad LoadFirmwareFile(VornBSLHost& host, const std::string& path, const std::string& caption);

}  // namespace vorn::update
