#pragma once
// Files and folders that other local users must not read or change: the per-user folder,
// the diagnostic log, the settings file and the simulators' registration folder. One
// backend file per platform (FilesPosix.cpp here).
#include <cstddef>
#include <cstdio>
#include <string>

namespace vorn::platform {

// Whether `folder` is a real directory (not a link) owned by this user, with no
// permissions for group or others; `why` says what is wrong with it otherwise.
bool IsPrivateFolder(const std::string& folder, std::string* why);
// Creates `folder` (and its parents) owner-only, or makes an existing folder of ours
// owner-only; false, with `why`, when it cannot be made private.
bool MakePrivateFolder(const std::string& folder, std::string* why);

// Opens `path` for appending, created owner-only; a file of ours that others could read
// (an older log) is made owner-only too. Null when it cannot be opened.
std::FILE* OpenPrivateAppend(const std::string& path);
// Creates `path` owner-only for writing; fails when anything, a link included, is there.
std::FILE* CreatePrivateExclusive(const std::string& path);

// The first line of a small regular file, at most `maxChars` characters, read without
// following a link and without waiting (a FIFO or a device gives nothing).
std::string ReadShortLine(const std::string& path, size_t maxChars);

}  // namespace vorn::platform
