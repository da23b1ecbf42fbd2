// Conversations with a device whose answers come from the input (FakeWorld): the
// bootloader client's judging of answers and handshakes (bsl/), the identification
// ("get -ver", the old firmware's "show"), the setting gets of the device library and the
// instrument session's values and records (session/). Input: one byte choosing the
// conversation (the byte modulo 5) and its variation (the quotient), then the answers
// separated by kAnswerSeparator.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FakeWorld.h"
#include "bsl/VornBSLHost.h"
#include "device/MOSSY_Protocol.h"
#include "session/Vorn_protocol.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

constexpr const char* kPort = "fuzz0";

// An accepted frame was acknowledged ("+" first, or after one stray character).
void CheckJudged(int32_t rc, const std::string& answer) {
    if (rc < 0) return;
    Check(static_cast<size_t>(rc) == answer.size() && answer.size() <= vorn::bsl::kAnswerMax);
    Check(answer[0] == '+' || (answer.size() >= 2 && answer[1] == '+'));
}

void BslChannel(uint8_t choice) {
    VornBSLHost host(nullptr);
    host.SetTries(1 + choice % 3);
    const int32_t state = host.BSLCheck(kPort, choice & 8 ? 38400 : 9600);
    Check(state == -80 || state == -81 || state == -21);
    std::string answer;
    uint32_t elapsed = 0;
    CheckJudged(host.BSLCommand('g', nullptr, 0, '\r', &answer, &elapsed), answer);
    const uint32_t numbers[3] = {0xFE00, 0x1000, 0x0200};
    CheckJudged(host.BSLCommand('X', numbers, 1, '\r', &answer, &elapsed, false), answer);
    CheckJudged(host.BSLCommand('@', "0C000", 5, '\r', &answer, &elapsed), answer);
    CheckJudged(host.BSLCommand('V', numbers, 3, '+', &answer, &elapsed, true), answer);
    // Whatever these answer, they must stay inside their buffers: only a crash counts.
    (void)host.BSLEraseINFO(0x1000, 2, 0x80, false);
    (void)host.BSLSendAddress(0xC000, false);
}

void BslConnect(uint8_t choice) {
    VornBSLHost host(nullptr);
    const int32_t version = host.BSLConnect(kPort, choice & 8 ? 38400 : 9600, false, 1 + choice % 3);
    if (version >= 0) {
        Check(host.EngineVersion() == version && host.Connected());
        (void)host.BSLEraseFlash(0xF800, 0x10400, false);  // only a crash counts here
        (void)host.BSLSendVectors();
    } else {
        Check(!host.Connected());
    }
}

void Identify(uint8_t choice) {
    MOSSY_Protocol device(nullptr);
    if (device.VSOpen(kPort, 9600) != 1) __builtin_trap();
    device.VerCommand(choice & 8);
    const DeviceInfo& info = device.Info();
    Check(info.versionText.size() <= DeviceInfo::kVersionTextMax);
    device.Info().type = LT_KT7;
    device.Info().newFirmware = false;
    std::string name;
    if (device.ParseShowCommand(choice & 16 ? &name : nullptr) == 1)
        Check(name.size() <= DeviceInfo::kDeviceNameMax && info.deviceName.size() <= DeviceInfo::kDeviceNameMax);
}

void Settings(uint8_t choice) {
    MOSSY_Protocol device(nullptr);
    if (device.VSOpen(kPort, 9600) != 1) __builtin_trap();
    static const uint8_t kTypes[] = {LT_KT72, LT_KT7R, LT_QV, LT_ZQ8, LT_MYR, LT_KT7, LT_RL, LT_GLX};
    DeviceInfo& info = device.Info();
    info.type = kTypes[choice % 8];
    info.newFirmware = (choice & 8) == 0;
    info.version = choice & 16 ? 250 : 120;
    device.SetCapabilities();
    DeviceInfo record;
    uint32_t mask = 0xFFFFFFFF;
    device.DeviceSettings(&record, &mask, vorn::protocol::Direction::kGet);
    Check(record.deviceName.size() <= DeviceInfo::kDeviceNameMax);
    Check(record.deviceID.size() <= DeviceInfo::kDeviceIDMax);
    Check(record.serialNumber.size() <= DeviceInfo::kSerialNumberMax);
    Check(record.site.size() <= DeviceInfo::kSiteMax);
    Check(record.buildInfo.size() <= DeviceInfo::kBuildInfoMax);
    Check(record.apn.size() <= DeviceInfo::kApnMax && record.apnUser.size() <= DeviceInfo::kApnMax);
    Check(record.authKey.size() <= DeviceInfo::kAuthKeyMax && record.host.size() <= DeviceInfo::kHostMax);
    VornSeconds clock = 0;
    device.DeviceTime(&clock, vorn::protocol::Direction::kGet);
}

void Session(uint8_t choice) {
    Vorn_protocol session(nullptr);
    DeviceProfile profile;
    if (session.VPConnect(kPort, 0, 1 + choice % 3, &profile) < 0) return;
    (void)session.GetInstInfo(0xFFFFFFFF);  // what it read is checked below, not whether it all came
    RecordSet user, eqn;
    session.GetRecords_Serial(&user, vorn::records::kUser);
    session.GetRecords_Serial(&eqn, vorn::records::kEqn);
    Check(user.Count() <= vorn::records::kUserMax && eqn.Count() <= vorn::records::kEqnMax);
    for (const RecordSet* set : {&user, &eqn})
        for (const InstrumentRecord& r : set->records) Check(r.text.size() <= InstrumentRecord::kTextMax);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string answers(reinterpret_cast<const char*>(data + 1), size - 1);
    vorn::fuzz::ResetWorld(answers);
    const uint8_t choice = data[0] / 5;  // variations within a conversation
    switch (data[0] % 5) {
        case 0: BslChannel(choice); break;
        case 1: BslConnect(choice); break;
        case 2: Identify(choice); break;
        case 3: Settings(choice); break;
        case 4: Session(choice); break;
    }
    return 0;
}
