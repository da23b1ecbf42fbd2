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
    std::string deviceName;   // display name of the family the image is for
    std::string fileName;     // base name the host keeps
    int progressStep = 1;     // bar points per erase report
    float progressIncrement = 0.0f;  // bar points per upload report
};

// Loads `path` into `host`. Every image is taken to be firmware for the Readwell (the
// family stays as it is when someone already set one). `caption` names the program in
// the error texts.
FirmwareLoad LoadFirmwareFile(VornBSLHost& host, const std::string& path, const std::string& caption);

}  // namespace vorn::update
