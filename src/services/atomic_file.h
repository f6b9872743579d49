#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tdb {

// Replaces `target` with `bytes` through a temporary file in the same folder, flushed to disk
// and renamed over the target: a reader sees the old file or the new one, never a part. On any
// failure the temporary file is removed, the target is left as it was and tdb::Error is thrown
// naming the file.
void replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same for bytes produced piece by piece, so that a large file never has to be held whole
// in memory: they go through a buffer into the temporary file, and commit() flushes it to disk
// and renames it over the target. Until commit() succeeds the target is untouched; the
// temporary file never outlives the writer unless it became the target.
class AtomicFileWriter {
public:
    // Creates the temporary file; throws tdb::Error naming the target when it cannot.
    explicit AtomicFileWriter(const std::filesystem::path& target);
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter();

    // Appends `bytes`. A failure to write is not thrown here but kept for commit(): writers
    // call this from inside serialisers that should not be unwound mid-way; later bytes are
    // dropped.
    void write(std::string_view bytes);
    // Writes what is buffered, flushes the file to disk and renames it over the target. Throws
    // tdb::Error naming the target for the first failure since the writer was made, and then
    // leaves no temporary file behind.
    void commit();

private:
    void flush();
    void writeThrough(const char* data, std::size_t size);
    [[noreturn]] void fail(int error);

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    int error_ = 0; // the first write failure (errno)
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

} // namespace tdb
