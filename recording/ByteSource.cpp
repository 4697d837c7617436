#include "ByteSource.h"

#include "common/FileOpen.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace quelsor {

namespace {

    // 64-bit file positions on every platform.
    int SeekFile(std::FILE* file, std::int64_t offset, int whence)
    {
#ifdef _WIN32
        return _fseeki64(file, offset, whence);
#else
        return fseeko(file, static_cast<off_t>(offset), whence);
#endif
    }

    std::int64_t TellFile(std::FILE* file)
    {
#ifdef _WIN32
        return _ftelli64(file);
#else
        return static_cast<std::int64_t>(ftello(file));
#endif
    }

    class FileSource : public ByteSource {
    public:
        explicit FileSource(std::FILE* file)
            : file_(file)
        {
        }
        ~FileSource() override { std::fclose(file_); }
        FileSource(const FileSource&) = delete;
        FileSource& operator=(const FileSource&) = delete;

        std::int64_t Size() override
        {
            const std::int64_t at = TellFile(file_);
            if (at < 0 || SeekFile(file_, 0, SEEK_END) != 0)
                return -1;
            const std::int64_t size = TellFile(file_);
            SeekFile(file_, at, SEEK_SET);
            return size;
        }
        std::int64_t Seek(std::int64_t offset, int whence) override
        {
            if (SeekFile(file_, offset, whence) != 0)
                return -1;
            return TellFile(file_);
        }
        std::int64_t Tell() override { return TellFile(file_); }
        std::size_t Read(void* into, std::size_t bytes) override
        {
            return std::fread(into, 1, bytes, file_);
        }

    private:
        std::FILE* file_;
    };

    class MemorySource : public ByteSource {
    public:
        MemorySource(const void* data, std::size_t size)
            : data_(static_cast<const unsigned char*>(data))
            , size_(data == nullptr ? 0 : static_cast<std::int64_t>(size))
        {
        }
        std::int64_t Size() override { return size_; }
        std::int64_t Seek(std::int64_t offset, int whence) override
        {
            const std::int64_t base = whence == SEEK_CUR ? at_ : whence == SEEK_END ? size_ : 0;
            // A position past the end is allowed, as for a file; reads there give nothing.
            if (offset < 0 ? offset < -base
                           : offset > std::numeric_limits<std::int64_t>::max() - base)
                return -1;
            at_ = base + offset;
            return at_;
        }
        std::int64_t Tell() override { return at_; }
        std::size_t Read(void* into, std::size_t bytes) override
        {
            if (at_ >= size_)
                return 0;
            const auto left = static_cast<std::size_t>(size_ - at_);
            const std::size_t count = bytes < left ? bytes : left;
            std::memcpy(into, data_ + at_, count);
            at_ += static_cast<std::int64_t>(count);
            return count;
        }

    private:
        const unsigned char* data_;
        std::int64_t size_;
        std::int64_t at_ = 0;
    };

} // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string& error)
{
    errno = 0;
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr) {
        error
            = std::string("cannot open: ") + (errno != 0 ? std::strerror(errno) : "unknown error");
        return nullptr;
    }
    return std::make_unique<FileSource>(file);
}

std::unique_ptr<ByteSource> NewMemorySource(const void* data, std::size_t size)
{
    return std::make_unique<MemorySource>(data, size);
}

} // namespace quelsor
