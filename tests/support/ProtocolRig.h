#pragma once
// A MOSSY_Protocol talking to a scripted peer, with its log in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "support/ScriptedPeer.h"
#include "device/MOSSY_Protocol.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

namespace vorn::test {

struct Rig {
    explicit Rig(ScriptedPeer::Responder responder, uint32_t serialTries = 3)
        : log(dir.File("log.txt"), VornLog::kDetails), peer(std::move(responder)), proto(&log) {
        ConnectOptions options;
        options.serialTries = serialTries;
        proto.Options(&options, vorn::protocol::Direction::kSet);
        opened = proto.VSOpen(peer.SlavePath(), 9600);
    }
    // Makes the object believe it identified this device.
    void Identify(uint8_t type, int32_t version, bool newFirmware = true) {
        DeviceInfo& info = proto.Info();
        info.type = type;
        info.version = version;
        info.newFirmware = newFirmware;
        info.versionText = "test";
        proto.SetCapabilities();
    }
    std::string LogText() { return ReadFile(dir.File("log.txt")); }
    bool Logged(const std::string& text) { return LogText().find(text) != std::string::npos; }

    TempDir dir;
    VornLog log;
    ScriptedPeer peer;
    MOSSY_Protocol proto;
    int32_t opened = 0;
};

}  // namespace vorn::test
