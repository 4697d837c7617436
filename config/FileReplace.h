#pragma once

#include <filesystem>
#include <string_view>

namespace quelsor {

// Gives the regular file `path` the contents `bytes`, creating it when it does not exist.
//
// - A file the user may not write is never touched: false, the file unchanged (even when its
//   folder would let it be replaced).
// - Where the folder can hold a scratch file, the new contents go to a freshly created scratch
//   file beside it (an exclusive, unique name: an existing file or link of that name is never
//   followed or reused) that then replaces the file, so a crash leaves the old or the new
//   contents, never a mix. The replacement keeps the file's mode, owner and group.
// - Where replacing would lose something (the folder is not writable, the file has other hard
//   links, its owner or group cannot be given to the scratch file, the rename fails), the file
//   is rewritten in place instead.
// `path` itself must not be a symbolic link (resolve it first): a link there is refused.
// Returns false when the contents could not be stored; no scratch file is left behind.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes);

#ifdef _WIN32
// The end of ReplaceFileContents on Windows once ReplaceFileW has failed, with the new contents
// (bytes) already in the scratch file beside path. When path still exists, the scratch file is
// deleted and path is rewritten in place. When ReplaceFileW has removed path without moving the
// scratch file in, the scratch file is moved to path; should that fail too, it is left where it
// is (it then holds the only copy of the contents) and false is returned.
bool FinishFailedReplace(const std::filesystem::path& path, const std::filesystem::path& scratch,
    std::string_view bytes);
#endif

} // namespace quelsor
