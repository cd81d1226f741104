// The few file calls the console tool makes by name outside the engine, over the system's wide
// calls: the engine itself calls the system directly on Windows.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

// Fill st_mode and st_size; -1 with errno set when the path names nothing. Windows follows no
// link here: what a link names is what the caller sees.
int SysLstat(const char* path, struct stat* st);
// The same: what the path names, as the system resolves it.
int SysStat(const char* path, struct stat* st);
int SysMkdir(const char* path, mode_t mode);
int SysUnlink(const char* path);
// Over an existing file, as on Linux.
int SysRename(const char* from, const char* to);

}  // namespace platform
