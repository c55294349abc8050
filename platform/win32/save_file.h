// Saving a file so that a crash or a kill at any moment never leaves a torn
// file under its name and never loses what was saved before. Every save
// goes the same way:
//   1. a new temporary file "~<stem>.XXXXXX.tmp" in the file's folder (six
//      letters or digits drawn at random), locked while the save runs;
//   2. the bytes written into it;
//   3. the file synced to the disk;
//   4. published under its name: renamed over the old file, or linked under
//      a name nothing holds yet (never over an existing file);
//   5. the folder synced, so the new name itself is on the disk.
// A save that fails leaves no temporary file and the old file as it was; a
// save killed half-way leaves at most its temporary file, which
// RemoveStaleSaveFiles takes away at the next start. Each kind of save
// keeps its own stem, so the clean-up of one kind never touches another
// kind's file, nor any file a player named.
//
// Paths are Linux paths (UTF-8). Failures set the last error in Win32 codes
// (SaveErrorFromErrno), one for each cause a player is told apart:
// ERROR_DISK_FULL, ERROR_DISK_QUOTA_EXCEEDED, ERROR_WRITE_PROTECT (a
// read-only file system), ERROR_ACCESS_DENIED (no permission),
// ERROR_FILE_READ_ONLY (a read-only file that a save would replace),
// ERROR_DIRECTORY_NOT_SUPPORTED (a folder where the file should be),
// ERROR_PATH_NOT_FOUND (no such folder), ERROR_ALREADY_EXISTS, and so on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/win32/win32.h"

namespace vox_win32 {

// The last error a failed save sets for an errno value: ErrorFromErrno's,
// but a folder in the file's place and a missing folder each keep a code of
// their own.
DWORD SaveErrorFromErrno(int error);

// Whether a save may replace what stands at `path`: true when nothing is
// there or a file this process may write. False (last error set) for a file
// that is read-only by its mode (no write bit set at all, as the platform's
// read-only attribute; this holds for a privileged process too), one the
// process has no permission to write, or a folder.
bool MayReplaceFile(const std::string& path);

// Replaces the file at `path` with the bytes; the temporary file's stem is
// the file's own name. A file that is replaced keeps its permissions; a new
// one gets those of any new file (0666 less the umask). What MayReplaceFile
// refuses is left as it is and the save fails.
bool SaveReplacingFile(const std::string& path, const void* data, size_t size);

// Saves the bytes under the first name that is free of name(0), name(1),
// ... name(limit - 1) (each a path in `folder`; an empty name skips that
// number). Returns the number taken, or -1 (last error set) when nothing
// was saved. A name that another program takes at the same moment is
// skipped as well. `tried`, when given, receives the number of the name
// the save took or was to take when it failed (the first free one, or the
// one it could not be published under), or -1 when no name was free.
int SaveUnderNewName(const std::string& folder, std::string_view stem, const void* data, size_t size,
                     const std::function<std::string(int)>& name, int limit, int* tried = nullptr);

// Gives an existing file a second name, the first free one of name(0),
// name(1), ... name(limit - 1), so that it is kept when its own name is
// then saved over. The number taken, or -1 (last error set).
int KeepUnderNewName(const std::string& path, const std::function<std::string(int)>& name, int limit);

// Whether a file name (without its folder) is a temporary file of saves
// of that stem (the stem in any letter case).
bool IsSaveTemporaryName(std::string_view name, std::string_view stem);
// Removes the temporary files of saves of that stem left in the folder by
// saves that never finished. A temporary file that a save still running
// (in this program or another) holds is left alone. Returns how many went.
int RemoveStaleSaveFiles(const std::string& folder, std::string_view stem);

// ---- tests
// The steps of a save, in order, as SaveStepHook sees them: called just
// before each step; a non-zero result fails the step with that errno value
// (ENOSPC for a full disk, EROFS for a read-only file system), as if the
// system had refused it. A hook may also end the process there, to show what
// a kill at that moment leaves.
enum class SaveStep { kCreate, kWrite, kSync, kPublish, kSyncFolder };
using SaveStepHook = int (*)(SaveStep step);
// Null: no hook (the default).
void SetSaveStepHook(SaveStepHook hook);

}  // namespace vox_win32
