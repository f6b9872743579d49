#pragma once

#include <filesystem>
#include <string_view>

namespace tdb {

// Replaces `target` with `bytes` through a temporary file in the same folder, flushed to disk
// and renamed over the target: a reader sees the old file or the new one, never a part. On any
// failure the temporary file is removed, the target is left as it was and tdb::Error is thrown
// naming the file.
void replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes);

} // namespace tdb
