#pragma once
// What a simulated instrument holds: identity, settings, records, clock, data and flash.
// A firmware update wipes the settings, records and data, as real instruments may.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/FlashModel.h"

namespace vornsim {

struct InstrumentState {
    std::string family = "RW";          // catalogue code
    uint32_t version = 102;             // firmware version (102 = 1.02)
    std::string hardwareRevision;       // answer to "get -hver"
    int battery = 100;                  // percent
    bool bootloaderPresent = true;      // false: "boot ZELK" answers "VornBSL MISSING"
    bool bootloaderInstalledVersion = true;

    // Settings by the key of their get/set command ("-i", "-sn", "-site", ...).
    std::map<std::string, std::string> settings;
    // Record lists by their key ("user", "eqn", ...), in the instrument's order.
    std::map<std::string, std::vector<std::string>> records;
    long long clockOffsetSeconds = 0;   // instrument clock minus host clock
    long long dataRecords = 0;          // logged data

    FlashModel flash;

    // bootloader
    // The VornBSL engine's fault switches, read from the options at the first power-on;
    // a test may change them later through WithState(). -1 (or 0 for a rate) is off.
    bool bslFaultsLoaded = false;
    long bslRefuseWrite = -1;           // refuse this "W" frame (1 = the first) once
    long bslFlashWriteMs = 0;           // programming a written frame takes this long
    long bslPowerLossAfter = -1;        // lose power once after the engine took this many frames
    long bslUnplugAfter = -1;           // the host's adapter is pulled out once after this many frames
    double bslDropRate = 0;             // chance that a frame's answer is lost
    double bslCorruptRate = 0;          // chance that a frame's answer arrives damaged
    long bslFrames = 0;                 // frames the engine took since the instrument was made
    long bslWrites = 0;                 // "W" frames among them
    // end bootloader

    // loggers
    // A radio module in or out of its AT command mode: the host computer's modem ("radio"
    // switch) or a logger's own module, reached through the old firmware's "term".
    struct AtModem {
        bool commandMode = false;
        std::string line;                               // AT command being typed
        std::map<std::string, std::string> registers;   // "HP", "DT", "VR" in hexadecimal
    };
    bool loggerStarted = false;         // factory settings and fault switches were taken once
    AtModem hostModem;
    AtModem loggerModule;
    bool termPassThrough = false;       // old Kt7 hands the line to its radio module
    int radioLink = 0;                  // the logger over the air: 0 asleep, 1 listening, 2 logged in
    int wakeCRs = 0;                    // wake packets heard in a row while asleep
    std::string airLine;                // what the logger hears over the air before a login
    long linesHeard = 0;                // command lines the shell took (fault switches count them)
    long quietAfter = -1;               // stop answering after this many lines ...
    long quietLines = 0;                // ... for this many lines
    // end loggers

    // lab instruments
    bool labStarted = false;            // factory values and switches were taken once
    std::string labSensorType = "1";    // HN9 sensor type: the updater sets it, a restore does not bring it back
    // end lab instruments

    // A firmware update: the new image runs, settings, records and data are gone.
    void WipeForUpdate() {
        settings.clear();
        records.clear();
        dataRecords = 0;
    }
};

}  // namespace vornsim
