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

} // namespace quelsor
