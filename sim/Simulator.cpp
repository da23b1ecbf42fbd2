#include "sim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "catalogue/DeviceCatalogue.h"
#include "common/FilesPlatform.h"
#include "serial/SerialPlatform.h"
#include "common/Text.h"
#include "sim/Switches.h"

namespace vornsim {
namespace {

uint32_t BaudOf(speed_t s) {
    switch (s) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B230400: return 230400;
        default: return 0;
    }
}

// What a UART at the wrong speed makes of a byte: something else, often with the high
// bit set, never the byte that was sent.
char Garble(char c) { return static_cast<char>((static_cast<unsigned char>(c) ^ 0xA5) | 0x80); }

constexpr size_t kNoiseBurstMax = 8;  // bytes of one burst of line noise
// What a USB serial adapter hands over at once: a 64-byte packet less its 2 status bytes.
constexpr size_t kAdapterPacket = 62;

}  // namespace

int FamilyOf(const std::string& code) {
    DeviceProfile profile;
    IdentifyDevice(code + " 1.00", &profile);
    return profile.family;
}

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

long Options::Number(const std::string& name, long otherwise) const {
    auto it = switches.find(name);
    if (it == switches.end() || it->second.empty()) return otherwise;
    return std::strtol(it->second.c_str(), nullptr, 10);  // decimal, as SetSwitch checked it
}

std::string Options::Text(const std::string& name, const std::string& otherwise) const {
    auto it = switches.find(name);
    return it == switches.end() ? otherwise : it->second;
}

double Options::Rate(const std::string& name) const {
    double rate = 0;
    vorn::ParseReal(Text(name, "0"), &rate);
    return rate;
}

Simulator::Simulator(Options options) : options_(std::move(options)), random_(options_.seed) {
    state_.family = options_.family;
    state_.version = options_.version;
    // A unit whose clock was off by this much before anyone set it.
    state_.clockOffsetSeconds = options_.Number("clock-offset", 0);
}

Simulator::~Simulator() {
    Stop();
    for (int fd : passedOver_) close(fd);
}

bool Simulator::OpenTerminal() {
    // The slave itself stays closed: an instrument on the far end of a cable does not hold
    // the host's port, and the updater must see no holder.
    std::string name;
    int fd = vorn::platform::OpenUnclaimedPseudoTerminal(O_NONBLOCK, &name, &passedOver_, slavePath_);
    if (fd < 0) {
        error_ = "cannot open a pseudo-terminal";
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(fd, TCSANOW, &tio);
    }
    slavePath_ = name;
    master_ = fd;
    return true;
}

bool Simulator::Start() {
    if (!OpenTerminal()) return false;
    if (!Register()) {
        close(master_.exchange(-1));
        return false;
    }
    started_ = true;
    running_ = true;
    {
        auto lock = Lock();
        if (onPowerOn) onPowerOn(*this);
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Simulator::Stop() {
    if (running_.exchange(false) && thread_.joinable()) thread_.join();
    if (thread_.joinable()) thread_.join();
    if (!options_.stateFile.empty() && started_) WriteState(options_.stateFile);
    started_ = false;
    Unregister();
    if (int fd = master_.exchange(-1); fd >= 0) close(fd);
}

void Simulator::Unplug(uint32_t ms) {
    Call([ms](Simulator& s) {
        if (s.master_ < 0) return;
        s.adapterHeld_.clear();  // what the adapter held goes with it
        s.Unregister();
        close(s.master_.exchange(-1));
        s.After(ms, [](Simulator& again) { again.PlugIn(); });
    });
}

void Simulator::ClearSwitch(const std::string& name) {
    Call([&name](Simulator& s) { s.options_.switches.erase(name); });
}

void Simulator::Mend() {
    for (const SwitchInfo& s : Switches())
        if (s.fault) ClearSwitch(s.name);
    Call([](Simulator& s) {
        InstrumentState& st = s.state_;
        st.bslDropRate = st.bslCorruptRate = 0;
        st.bslPowerLossAfter = st.bslUnplugAfter = st.bslRefuseWrite = -1;
        st.quietAfter = -1;
    });
}

// Plugged in again: a new pseudo-terminal under the old name, as udev gives a USB adapter
// that comes back.
void Simulator::PlugIn() {
    if (master_ >= 0 || !OpenTerminal()) return;
    Register();
}

std::string Simulator::RegisteredPath() const {
    return vorn::platform::SimulatorFolder() + "/" + options_.portName;
}

bool Simulator::Register() {
    if (options_.portName.empty()) return true;
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string folder = vorn::platform::SimulatorFolder();
    // The updater trusts only a private folder; registering anywhere else would be
    // registering for whoever controls it.
    if (std::string why; !vorn::platform::MakePrivateFolder(folder, &why)) {
        error_ = "cannot register the port in " + folder + ": " + why;
        return false;
    }
    fs::path link = RegisteredPath();
    fs::remove(link, ec);
    fs::create_symlink(slavePath_, link, ec);
    if (ec) {
        error_ = "cannot register the port as " + link.string() + ": " + ec.message();
        return false;
    }
    std::string desc = options_.description;
    if (desc.empty()) desc = "Simulated " + std::string(vorn::catalogue::FamilyDisplayName(FamilyOf(options_.family)));
    std::ofstream(link.string() + ".desc") << desc << "\n";
    registered_ = true;
    return true;
}

void Simulator::Unregister() {
    if (!registered_) return;
    std::error_code ec;
    // Only our own link: another simulator may have taken the name since.
    std::filesystem::path link = RegisteredPath();
    if (std::filesystem::read_symlink(link, ec) == slavePath_) {
        std::filesystem::remove(link, ec);
        std::filesystem::remove(link.string() + ".desc", ec);
    }
    registered_ = false;
}

uint32_t Simulator::HostBaud() const {
    termios tio{};
    const int fd = master_;
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return 0;
    return BaudOf(cfgetospeed(&tio));
}

void Simulator::Become(std::shared_ptr<Personality> personality, uint32_t baud) {
    // The personality being replaced may be the one whose handler is running: keep it
    // alive until the current delivery or timer has returned.
    if (active_) retired_.push_back(std::move(active_));
    active_ = std::move(personality);
    lineBaud_ = baud;
    if (active_) active_->OnEnter(*this);
}

void Simulator::PowerOff() {
    if (active_) retired_.push_back(std::move(active_));
}

void Simulator::Send(std::string_view bytes) {
    if (bytes.empty()) return;
    if (const double rate = options_.Rate("noise-rate");
        rate > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate) {
        std::string noise(std::uniform_int_distribution<size_t>(1, kNoiseBurstMax)(random_), '\0');
        for (char& c : noise) c = Garble(static_cast<char>(random_()));
        Transmit(noise);
    }
    if (const long slow = options_.Number("slow-ms"); slow > 0) {
        After(static_cast<uint32_t>(slow), [out = std::string(bytes)](Simulator& s) { s.Transmit(out); });
        return;
    }
    Transmit(bytes);
}

void Simulator::Transmit(std::string_view bytes) {
    const int fd = master_;
    if (fd < 0 || bytes.empty()) return;  // unplugged: the words go nowhere
    std::string out(bytes);
    if (HostBaud() != lineBaud_) std::transform(out.begin(), out.end(), out.begin(), Garble);
    if (options_.pacing && lineBaud_ > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(out.size() * 10'000'000ULL / lineBaud_));
    ThroughAdapter(std::move(out));
}

void Simulator::ThroughAdapter(std::string out) {
    const long latency = options_.Number("adapter-latency-ms");
    if (latency <= 0) {
        WriteToHost(out);
        return;
    }
    if (adapterHeld_.empty()) adapterHeldSince_ = NowMs();
    adapterHeld_ += out;
    if (const size_t full = adapterHeld_.size() / kAdapterPacket * kAdapterPacket; full > 0) {
        WriteToHost(std::string_view(adapterHeld_).substr(0, full));
        adapterHeld_.erase(0, full);
        adapterHeldSince_ = NowMs();
    }
    if (!adapterHeld_.empty()) After(static_cast<uint32_t>(latency), [](Simulator& s) { s.FlushAdapter(); });
}

void Simulator::FlushAdapter() {
    const auto latency = static_cast<uint64_t>(options_.Number("adapter-latency-ms"));
    if (adapterHeld_.empty() || NowMs() < adapterHeldSince_ + latency) return;  // a later timer hands it over
    std::string out;
    out.swap(adapterHeld_);
    WriteToHost(out);
}

void Simulator::WriteToHost(std::string_view out) {
    const int fd = master_;
    if (fd < 0) return;
    size_t done = 0;
    uint64_t deadline = NowMs() + 2000;
    while (done < out.size() && NowMs() < deadline) {
        ssize_t n = write(fd, out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        // Nobody reads: the line's buffer is full. Give the host a moment, then drop.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Simulator::After(uint32_t ms, std::function<void(Simulator&)> fn) {
    auto lock = Lock();
    timers_.push_back(Timer{NowMs() + ms, timerOrder_++, std::move(fn)});
}

void Simulator::Call(std::function<void(Simulator&)> fn) {
    if (std::this_thread::get_id() == thread_.get_id() || !running_) {
        auto lock = Lock();
        fn(*this);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    {
        auto lock = Lock();
        timers_.push_back(Timer{0, timerOrder_++, [fn, done](Simulator& s) {
                                    fn(s);
                                    done->set_value();
                                }});
    }
    future.wait();
}

std::string Simulator::HostTranscript() {
    auto lock = Lock();
    return transcript_;
}

void Simulator::ClearTranscript() {
    auto lock = Lock();
    transcript_.clear();
}

bool Simulator::WriteState(const std::string& path) {
    auto lock = Lock();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << (dumpState ? dumpState(state_) : std::string());
    return static_cast<bool>(out);
}

void Simulator::Deliver(std::string_view bytes) {
    auto lock = Lock();
    transcript_.append(bytes);
    if (options_.Has("echo")) Transmit(bytes);  // a relay repeats everything it hears
    if (!active_) return;  // powered off
    if (HostBaud() != lineBaud_)
        active_->OnGarbage(*this, bytes.size());
    else
        active_->OnBytes(*this, bytes);
    retired_.clear();
}

// A pseudo-terminal hands over at once what the host wrote. On a real line the last of
// those bytes arrives only after they have all crossed it at the line speed, after what
// was still crossing: with pacing, they are heard then.
void Simulator::Receive(std::string_view bytes) {
    if (!options_.pacing || lineBaud_ == 0) {
        Deliver(bytes);
        return;
    }
    const uint64_t nowUs = NowMs() * 1000;
    receiveFreeAtUs_ = std::max(receiveFreeAtUs_, nowUs) + bytes.size() * 10'000'000ULL / lineBaud_;
    const uint64_t dueMs = (receiveFreeAtUs_ + 999) / 1000;
    After(static_cast<uint32_t>(dueMs - nowUs / 1000), [heard = std::string(bytes)](Simulator& s) { s.Deliver(heard); });
}

void Simulator::Run() {
    char buf[1024];
    while (running_) {
        int wait = 10;
        {
            auto lock = Lock();
            uint64_t now = NowMs();
            // Due timers, oldest first; a timer may add more.
            for (;;) {
                auto due = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
                    return a.due != b.due ? a.due < b.due : a.order < b.order;
                });
                if (due == timers_.end() || due->due > now) break;
                auto fn = std::move(due->fn);
                timers_.erase(due);
                fn(*this);
            }
            retired_.clear();
            // The next timer is not kept waiting for the poll (an adapter's 1 ms timer).
            const uint64_t at = NowMs();
            for (const Timer& t : timers_)
                wait = std::min<int>(wait, t.due > at ? static_cast<int>(std::min<uint64_t>(t.due - at, 10)) : 0);
        }
        // Unplugged (-1), poll just waits.
        const int fd = master_;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, wait) <= 0) continue;
        ssize_t n = read(fd, buf, sizeof buf);
        // With no host on the slave the master reads EIO: wait for the next open.
        if (n > 0) Receive(std::string_view(buf, static_cast<size_t>(n)));
        else if (n < 0 && errno != EAGAIN && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace vornsim
