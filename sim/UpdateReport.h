#pragma once
// What the demo prints when the simulated instrument stops: whether its flash holds a
// given firmware image and whether its settings are those it started with.
#include <map>
#include <string>
#include <vector>

#include "sim/InstrumentState.h"

namespace vornsim {

struct UpdateReport {
    bool imageRead = false;
    size_t imageBytes = 0;
    size_t flashDifferences = 0;     // image bytes and vector words the flash does not hold
    bool settingsEqual = false;
    std::vector<std::string> settingsDifferences;  // keys that differ, are missing or new
    bool factoryFirmware = false;    // nothing was erased: the old firmware is all there
    long loaderFrames = 0;           // frames the VornBSL engine took
    long long clockOffset = 0;       // the instrument's clock minus local time, in seconds ...
    long long clockOffsetBefore = 0; // ... and at the start
    std::string doing;               // what the instrument is doing at the end (set by the caller)
    std::string Text(const std::string& imagePath) const;
};

// Compares `state` with the TI-Text image in `imageText` and with the settings and
// records `before` held.
UpdateReport CompareAfterUpdate(const InstrumentState& state, const std::string& imageText,
                                const InstrumentState& before);

}  // namespace vornsim
