#include "common/VornLog.h"

#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "common/TimePlatform.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode)); }

}  // namespace

VornLog::VornLog(std::string path, uint32_t level)
    : path_(path.empty() ? std::string("error.txt") : std::move(path)),
      level_(ValidLevel(level) ? level : kFailures) {}

bool VornLog::ValidLevel(uint32_t level) {
    return level == 0 || level == 1 || level == 10 || level == 30 || level == 40;
}

bool VornLog::SetLevel(uint32_t level) {
    if (!ValidLevel(level)) return false;
    level_ = level;
    return true;
}

std::string VornLog::FormatLine(const std::tm& t, const char* tag, const std::string& message) {
    const char* month = (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonths[t.tm_mon] : "???";
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d %s %d %d:%02d:%02d", t.tm_mday, month, t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    std::string line = stamp;
    line += " - ";
    line += tag ? tag : "";
    line += ": ";
    line += message;
    line += "\r\n";
    return line;
}

int VornLog::Log(uint32_t level, const char* tag, const char* format, ...) {
    if (level > level_ || level_ == 0) return 0;
    va_list args;
    va_start(args, format);
    std::string message = format ? vorn::FormatV(format, args) : std::string();
    va_end(args);

    const std::tm local = vorn::platform::LocalTime(std::time(nullptr));
    // Messages carry text from devices, files and the user: escaped, so none of it can
    // start a line of its own in a log that goes to the maker.
    std::string line = FormatLine(local, tag ? vorn::EscapeControls(tag).c_str() : nullptr, vorn::EscapeControls(message));

    // Owner-only: the log holds device and site details of the user's instruments.
    File f(vorn::platform::OpenPrivateAppend(path_));
    if (!f) return 0;
    size_t written = std::fwrite(line.data(), 1, line.size(), f.get());
    return static_cast<int>(written);
}

int32_t VornLog::FileSize() const {
    std::error_code ec;
    auto size = std::filesystem::file_size(path_, ec);
    if (ec) return -(ec.value() ? ec.value() : EIO);
    return static_cast<int32_t>(size);
}

bool VornLog::KeepLast(long count) {
    if (count < 0) return false;
    File log = OpenFile(path_, "rb");
    if (!log) return false;
    if (std::fseek(log.get(), 0, SEEK_END) != 0) return false;
    long size = std::ftell(log.get());
    if (size < 0) return false;
    // A file that already fits is kept whole (cutting it would lose its first line).
    if (size <= count) return true;

    // The tail starts at the first line start at or after size - count.
    long start = size - count;
    std::fseek(log.get(), start - 1, SEEK_SET);
    long tailStart = size;  // no line start in the tail: nothing is kept
    for (long at = start - 1; at < size; ++at) {
        int c = std::fgetc(log.get());
        if (c == EOF) break;
        if (c == '\n') {
            tailStart = at + 1;
            break;
        }
    }
    std::fseek(log.get(), tailStart, SEEK_SET);

    // A fresh, owner-only temporary file: a leftover from an earlier failure is removed
    // (a link only as a link) and must not be prepended.
    std::string tempPath = path_ + ".temp";
    std::remove(tempPath.c_str());
    File temp(vorn::platform::CreatePrivateExclusive(tempPath));
    if (!temp) return false;
    std::vector<char> buffer(static_cast<size_t>(count > 0 ? count : 1));
    size_t got = std::fread(buffer.data(), 1, static_cast<size_t>(size - tailStart), log.get());
    bool ok = std::fwrite(buffer.data(), 1, got, temp.get()) == got;
    ok = (std::fclose(temp.release()) == 0) && ok;
    log.reset();
    if (!ok) {
        std::remove(tempPath.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(tempPath, path_, ec);
    if (ec) {
        std::remove(tempPath.c_str());
        return false;
    }
    return true;
}

bool VornLog::ProgressHook(long, long, int) { return true; }
void VornLog::TranscriptHook(const std::string&) {}
