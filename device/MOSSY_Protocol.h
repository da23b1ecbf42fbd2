#pragma once
// The device command library: one connection to a logger or instrument speaking the
// maker's line-oriented command protocol, directly or through a radio modem, and
// everything learnt about the device on the other end (DeviceInfo).
//
// Every operation returns a status (common/Status.h, device/ProtocolConstants.h):
// positive success, negative failure; none throws. Every operation logs its own outcome,
// tagged with the port name, and ends its lines with the elapsed milliseconds of its last
// exchange. Single-threaded and not re-entrant: one object serves one connection with
// strictly sequential commands; waits of 170 ms and more run the event pump.
//
// Directions (vorn::protocol::Direction): kGet reads the device into the value, kSet
// writes the value.
#include <array>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "device/DeviceInfo.h"
#include "device/ProtocolConstants.h"
#include "serial/VornSerial.h"

class VornLog;
namespace vorn::protocol {
struct SettingExecutor;
}

// Device time: seconds since 2000-01-01 00:00:00 of the host's local time.
using VornSeconds = int64_t;

class MOSSY_Protocol : public VornSerial {
public:
    // hook(total, done, phase) -> go on; phases 1 running, 2 finished, 4 one query try.
    using ProgressHook = std::function<bool(long total, long done, int phase)>;
    using TraceHook = std::function<void(const std::string& text)>;
    using Bytes5 = DeviceInfo::Bytes5;
    using Direction = vorn::protocol::Direction;

    // State 1, default options (3 serial and 5 radio tries), not connected. The log is not
    // owned and may be null.
    explicit MOSSY_Protocol(VornLog* log);
    // Disconnects (closing the port, whatever "keep port open" says) when connected.
    ~MOSSY_Protocol();

    // 1 after construction; -60 had a buffer been unavailable.
    int32_t State() const { return state_; }
    bool Connected() const { return request_.connectionType != vorn::protocol::kConnectionNone; }
    const ConnectRequest& Request() const { return request_; }
    uint32_t Tries() const { return tries_; }
    uint32_t Resets() const { return resets_; }
    const DeviceInfo& Info() const { return info_; }
    DeviceInfo& Info() { return info_; }
    // The last answer DeviceCommand read (at most 2048 characters).
    const std::string& LastAnswer() const { return answer_; }
    // Milliseconds of the last exchange (all its tries).
    int32_t LastElapsedMs() const { return lastElapsedMs_; }

    // Defaults: VornLog::ProgressHook (always go on) and VornLog::TranscriptHook.
    void SetProgressHook(ProgressHook hook);
    void SetTraceHook(TraceHook hook);

    // --- channel ---

    // kGet: copies the options out, 1. kSet (and any other value): validates (tries above
    // 12, trace outside 0..3 or extra wait above 30000 -> -11, nothing changes), turns
    // tries of 0 into 3 and 5, stores them and sets the tries in force; 1. No record -> -10.
    int32_t Options(ConnectOptions* record, Direction direction);

    // Sends `command` and reads the answer up to `terminator`, trying up to the tries in
    // force. Each try waits `timeoutMs` + the extra wait; silence is not an error until
    // every try was silent (-21). An answer with "ERROR", '?' or "Unsupported" is retried
    // (-34 when the tries run out); an answer containing the command itself ends at once
    // with -32. Returns the number of bytes read (the answer, at most 2048, stays in
    // LastAnswer()); -31 when the answer is CR, CR, '>'; other negatives as above or from
    // the port. With a destination, up to size - 1 characters are copied into it (it is
    // emptied on failure, kept for -31). Elapsed covers all tries.
    [[nodiscard]] int32_t DeviceCommand(std::string_view command, char terminator, uint32_t timeoutMs,
                          std::string* destination = nullptr, size_t size = 0, int32_t* elapsedMs = nullptr);

    // 1 when `name` may be a device name; -53 empty, -54 longer than 8, -52 a reserved
    // word, -50 a control character, space, 127 or 255, -51 one of ?\"/<>*|:;, and -56 a
    // character of code 128 or above.
    static int32_t CheckDeviceName(std::string_view name);

    // Computes capabilities from type, version and firmware generation.
    void SetCapabilities();

    // --- setting commands: (value, direction) -> 1, -1 without the capability (nothing
    // sent), -10 no value, -11 bad value, -30 answer not understood, -31 no value in the
    // answer, or the DeviceCommand status. Time-out 1100 ms per try unless noted. ---

    int32_t NameCommand(std::string* name, Direction direction);          // get -31 -> -36
    int32_t DeviceIDCommand(std::string* id, Direction direction);
    int32_t ReportCommand(int32_t* mode, Direction direction);
    int32_t DepthCommand(Bytes5* depths, Direction direction);            // values above 255 -> 255
    int32_t SiteCommand(std::string* site, Direction direction);
    int32_t LatitudeCommand(double* degrees, Direction direction);
    int32_t LongitudeCommand(double* degrees, Direction direction);
    int32_t TimeZoneCommand(int32_t* quarterHours, Direction direction);  // set -2: the host's zone
    int32_t SNCommand(std::string* serialNumber, Direction direction);
    int32_t WakeCommand(int32_t* interval, Direction direction);
    int32_t PADCCommand(int32_t* hertz, Direction direction);
    int32_t PortsCommand(Bytes5* ports, Direction direction);
    // kind 1 "-adc30", 2 "-adc15". Get -1 when a factor is 0 or 255 or the checksum is off.
    int32_t ADCcalCommand(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction);
    int32_t DataParameterCommand(int32_t* value, Direction direction);
    int32_t VornBuildCommand(std::string* build, Direction direction);
    int32_t TraitCommand(uint32_t* traitWord, Direction direction);      // set without 0x1000000 -> -12
    int32_t APNCommand(std::string* apn, Direction direction);
    int32_t APNUserCommand(std::string* user, Direction direction);
    int32_t APNPasswdCommand(std::string* password, Direction direction);
    int32_t AuthKeyCommand(std::string* key, Direction direction);       // set needs 32 hex digits
    int32_t HostCommand(std::string* host, Direction direction);
    int32_t IPPortCommand(int32_t* port, Direction direction);
    int32_t RmodeCommand(int32_t* mode, Direction direction);            // zQ8: always 16, nothing sent

    // Radio channel, subchannel and version through the logger, the host's modem or the old
    // firmware's "term" pass-through. `mask` (0x400 RCH, 0x800 RSCH, 0x1000 RVER) names
    // the values on entry and holds those set or found on return. 1, -35 partly done (found
    // bits in the mask), -45 no radio, -12 set over the radio, -10 no mask, -1 no capability.
    int32_t MSRadioCommand(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                           uint32_t* mask);
    // AT command mode of a radio module ("+++", ATHP, ATDT, ATVR, ATWR, ATCN). 1, -23 when
    // command mode cannot be entered (mask 0), -35 partly done, -30 nothing done, or the
    // status of leaving command mode.
    int32_t Qr4Config(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction, uint32_t* mask);

    // --- connection ---

    // Opens the port at 9600 (unless still open from a kept connection), configures the
    // host's radio modem when the radio values are known, and logs in. On return the
    // request's baud code holds the code in use. 1; -10 no request or unknown type, -11
    // type 0 or baud code outside the table, -13 known but unsupported type, -23 modem
    // configuration failed, the open's or DeviceLogin's status. A failure closes the port
    // unless "keep port open".
    int32_t Connect(ConnectRequest* request);
    // Finds out which logger answers over the radio: the name (at most 8 characters) goes
    // to `name`. 1; -22 nothing heard; -33 the query came back (a relay); -40 stopped; -30
    // only invalid names heard; other DeviceCommand statuses. Pauses 2.5 s after success.
    int32_t QueryCommand(std::string* name);
    // 909 CR packets 55 ms apart (about 50 s). 1, or -40 when the progress hook stops it.
    int32_t SendWake();
    // "login NAME" (or "login" for an empty name). 1; -54 name too long; -30 no prompt.
    int32_t LoginCommand(std::string_view name);
    // The whole login: radio (query, login, one wake) or serial (identify, baud change).
    // An empty name over the radio is replaced by the name heard. 1; -20 nothing listening
    // or the host cannot change its baud; -33 relay; -40 stopped; -10 no name.
    int32_t DeviceLogin(std::string* name, const std::string& reserved, uint8_t* baudCode);
    // Identifies type, firmware text and version. 1; -80 / -81 a bootloader answered;
    // -30 not understood; -32 echo; -21 silence; -13 old firmware below 1.10 (via show).
    int32_t VerCommand(int skipShow);
    // Reads "show" of an old-firmware Kt7. With a destination only the name is read into it.
    // 1; -11 not an old-firmware Kt7; -13 version below 1.10; -30 answer not understood.
    int32_t ParseShowCommand(std::string* name);
    // Asks the device to change its line speed (the host follows only in DeviceLogin).
    // 1; -1 old firmware; -30 / -21 or other DeviceCommand statuses. Silence after a request
    // for 9600 counts as success (the device switched before it answered).
    int32_t SetBaudCommand(uint32_t rate);
    // Leaves the device (logout over the radio, 9600 baud on serial), clears DeviceInfo and
    // closes the port unless "keep port open". 0 when not connected, 1, or -22 when a radio
    // logger kept answering.
    int32_t DisconnectDevice();

    // --- whole device ---

    // Reads (kGet) or writes (kSet) the settings named by *mask; on return *mask holds the bits
    // handled. Get copies the object's DeviceInfo out into `record`; set copies `record` in
    // first. 1; -35 some failed; -13 unsupported old firmware; -21 the device went away;
    // -32 / -33 / -36 stop at once; -40 stopped; -1 nothing valid; -10 / -11 arguments.
    int32_t DeviceSettings(DeviceInfo* record, uint32_t* mask, Direction direction);
    // Set: the clock to *value, or to now when value is absent or 0 (*value receives the
    // VornSeconds sent). Get: *value receives the device time, -1 on failure. 1; -1 no clock;
    // -10 get without a value; -30 answer not understood.
    int32_t DeviceTime(VornSeconds* value, Direction direction);
    // Erases the logged data after checking the device's name. 1; -37 another device (or
    // its name cannot be read), nothing sent; -65 broken data memory; -30 other answers.
    int32_t EraseData();

private:
    friend struct vorn::protocol::SettingExecutor;

    // One log line tagged with the port name.
    void Say(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // The same with another tag.
    void SayTagged(uint32_t level, const char* tag, const char* format, ...) __attribute__((format(printf, 4, 5)));
    // What both come to: Say is SayTagged with the port name as the tag.
    void SayTaggedV(uint32_t level, const char* tag, const char* format, va_list args) __attribute__((format(printf, 4, 0)));
    bool Radio() const { return request_.connectionType == vorn::protocol::kConnectionRadio; }
    bool ReportProgress(long total, long done, int phase);
    void Trace(int what, std::string_view text);
    // While it lives, the trace shows `command` for the command sent and a mask for the
    // answer: a credential that is set or read never reaches whoever listens to the trace.
    struct TraceMask {
        TraceMask(MOSSY_Protocol& p, bool active, std::string command);
        ~TraceMask();
        MOSSY_Protocol& protocol;
        bool active;
    };
    // The ADC command's work; logging is left to the caller.
    int32_t AdcExchange(int kind, Bytes5* slopes, Bytes5* offsets, Direction direction);
    int32_t TraitExchange(uint32_t* traitWord, Direction direction);
    int32_t MSRadioNewFirmware(int32_t* channel, int32_t* subchannel, std::string* version, Direction direction,
                               uint32_t* mask);
    int32_t DateTimeSet(VornSeconds* value);
    int32_t DateTimeGet(VornSeconds* value);
    void ForgetConnection();
    // Reads and drops the answers of commands that ran out of time, as far as they come
    // before the last of them is given up (kLateAnswerMs after it was sent).
    void DropLateAnswers();

    int32_t state_ = 1;
    ConnectOptions options_{};
    DeviceInfo info_{};
    ConnectRequest request_{};
    uint32_t tries_ = vorn::protocol::kDefaultSerialTries;
    uint32_t resets_ = 0;
    std::string answer_;            // the answer buffer: the last answer, at most 2048 characters
    int32_t lastElapsedMs_ = 0;
    // Answers still owed on this connection: commands that ran out of time before their
    // terminator came. On a slow line such an answer arrives later and would be read as
    // the next command's answer, and every answer after it one command late.
    uint32_t owedAnswers_ = 0;
    char owedTerminator_ = '>';
    uint32_t owedUntil_ = 0;       // MsTimer() at which the last owed answer is given up
    bool heardFromDevice_ = false; // an answer came since the port was opened
    ProgressHook progress_;
    TraceHook trace_;
    bool traceMasked_ = false;
    std::string maskedCommand_;  // shown in the trace instead of a command with a secret
};
