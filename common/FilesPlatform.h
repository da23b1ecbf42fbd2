#pragma once
// Files and folders that other local users must not read or change: the per-user folder,
// the diagnostic log, the settings file and the simulators' registration folder. One
// backend file per platform (FilesPosix.cpp here).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vorn::platform {

// Whether `folder` is a real directory (not a link) owned by this user, with no
// permissions for group or others; `why` says what is wrong with it otherwise.
bool IsPrivateFolder(const std::string& folder, std::string* why);
// Creates `folder` (and its parents) owner-only, or makes an existing folder of ours
// owner-only; false, with `why`, when it cannot be made private.
bool MakePrivateFolder(const std::string& folder, std::string* why);

// Opens `path` for appending, created owner-only; a file of ours that others could read
// (an older log) is made owner-only too. Null when it cannot be opened, and for a link,
// anything but a regular file, or a file of another user (root too leaves those alone).
// The caller owns the stream.
std::FILE* OpenPrivateAppend(const std::string& path);
// Creates `path` owner-only for writing; fails when anything, a link included, is there.
std::FILE* CreatePrivateExclusive(const std::string& path);

// The first line of a small regular file, at most `maxChars` characters, read without
// following a link and without waiting (a FIFO or a device gives nothing).
std::string ReadShortLine(const std::string& path, size_t maxChars);

// Writes `text` to `path` so that a crash never leaves a half file under that name: a new
// file in the same folder, created exclusively and readable by its owner only, written,
// flushed to the disk and then renamed over `path` (the rename flushed too). 0; the
// negated C error of the failing step otherwise, and then the temporary file is gone and
// whatever `path` held before is untouched. `path` must not be empty.
int WriteFilePrivately(const std::string& path, std::string_view text);

// The folder the user's own program data belongs under: $XDG_DATA_HOME when it is an
// absolute path, else $HOME/.local/share; empty when neither is known.
std::string UserDataFolderBase();
// Whether this process may create files in `folder`.
bool FolderIsWritable(const std::string& folder);

// An exclusive lock on `path` (created owner-only when missing) that lasts until
// UnlockFile, or until the process ends in any way, a crash included. The handle (>= 0),
// or the negated C error: -EBUSY when another process holds the lock. `info` (this
// process's id, say) is written into the file for whoever finds it held.
intptr_t LockFileExclusive(const std::string& path, std::string_view info);
// Ends a lock of LockFileExclusive on `path` and removes the file, unless another file has
// taken its name meanwhile. A crash may leave the file behind, unlocked: the next
// LockFileExclusive takes it. A negative handle (a lock not had) is ignored.
void UnlockFile(intptr_t handle, const std::string& path);

// The folder of the running program's own file; empty when it cannot be told.
std::string ProgramFolder();
// Whether `stream` is a terminal (a person may be reading it, or typing into it).
bool IsTerminal(std::FILE* stream);
// The width of the terminal `stream` shows on, in characters; 0 when it tells none.
int TerminalColumns(std::FILE* stream);

}  // namespace vorn::platform
