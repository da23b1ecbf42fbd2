#pragma once
// The program's one diagnostic log: a text file that every layer appends time-stamped
// lines to. Each line is written with its own open-append-close cycle, so the file is
// always complete on disk and another program may read or delete it at any time.
#include <cstdint>
#include <ctime>
#include <string>

#include "common/PrintfCheck.h"

class VornLog {
public:
    // Levels: 1 failures and user-visible outcomes, 10 milestones, 30 details,
    // 40 byte traces. A log at level L writes messages of level <= L; 0 writes nothing.
    static constexpr uint32_t kSilent = 0;
    static constexpr uint32_t kFailures = 1;
    static constexpr uint32_t kMilestones = 10;
    static constexpr uint32_t kDetails = 30;
    static constexpr uint32_t kBytes = 40;

    // An empty path logs to "error.txt" in the current directory. A level that is not
    // one of the five above is stored as 1. Nothing is opened or created here.
    explicit VornLog(std::string path = {}, uint32_t level = kFailures);

    // Appends "<time stamp> - <tag>: <message>\r\n" when level <= the log's level, to a
    // file only its owner may read; line breaks and other control bytes of the message
    // are written as escapes ("\n", "\x1B"), so every entry is one line.
    // Returns the number of characters written; 0 when filtered out or the file could
    // not be opened (writers never see a failure of the log).
    int Log(uint32_t level, const char* tag, const char* format, ...)
        VORN_PRINTF(4, 5);

    // Accepts only 0, 1, 10, 30 or 40; anything else leaves the level as it was.
    bool SetLevel(uint32_t level);
    uint32_t Level() const { return level_; }
    const std::string& Path() const { return path_; }

    // Size of the log file in bytes, or the negated errno when it cannot be read.
    int32_t FileSize() const;

    // Shortens the file to its last bytes: at most `count`, starting at a line start.
    // A file that already fits is left alone. The shortened copy is owner-only. False when
    // the file could not be read or the copy could not be written; the log is then untouched.
    bool KeepLast(long count);

    // "3 Mar 2026 9:05:07 - COM3: message\r\n" for the given local time.
    static std::string FormatLine(const std::tm& local, const char* tag, const std::string& message);

    // The device command library reports progress and the commands it sends through these
    // two hooks. Nothing in this program listens: progress always answers "go on".
    static bool ProgressHook(long total, long done, int stage);
    static void TranscriptHook(const std::string& command);

private:
    static bool ValidLevel(uint32_t level);

    std::string path_;
    uint32_t level_;
};
