#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quelsor {

// The bytes of a recording, read in order with the odd seek back: a file (64-bit positions, so
// recordings beyond 2 GB work) or a buffer in memory (the fuzzer's inputs and the tests').
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Size in bytes; -1 when unknown.
    virtual std::int64_t Size() = 0;
    // whence: SEEK_SET, SEEK_CUR or SEEK_END. Returns the new position, or -1 (position kept).
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
    virtual std::int64_t Tell() = 0;
    // Up to bytes bytes into `into`; fewer only at the end of the source or on a read error.
    virtual std::size_t Read(void* into, std::size_t bytes) = 0;
};

// Opens a file for reading; null with the system's reason in error when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string& error);

// A source over size bytes at data, which must outlive it.
std::unique_ptr<ByteSource> NewMemorySource(const void* data, std::size_t size);

} // namespace quelsor
