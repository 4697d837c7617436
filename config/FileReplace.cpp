#include "FileReplace.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quelsor {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

    // Closes a handle at the end of a scope.
    class Handle {
    public:
        explicit Handle(HANDLE handle)
            : handle_(handle)
        {
        }
        ~Handle() { Close(); }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        HANDLE Get() const { return handle_; }
        bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
        void Close()
        {
            if (Valid())
                CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }

    private:
        HANDLE handle_;
    };

    bool WriteAll(HANDLE file, std::string_view bytes)
    {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
                return false;
            bytes.remove_prefix(written);
        }
        return true;
    }

    // Rewrites the open file from its start and cuts it at the new length.
    bool WriteInPlace(HANDLE file, std::string_view bytes)
    {
        LARGE_INTEGER start {};
        return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && WriteAll(file, bytes)
            && SetEndOfFile(file) && FlushFileBuffers(file);
    }

} // namespace

bool FinishFailedReplace(const fs::path& path, const fs::path& scratch, std::string_view bytes)
{
    const std::wstring name = path.wstring();
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES
        && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // ReplaceFileW has removed the file and could not move the scratch file in
        // (ERROR_UNABLE_TO_MOVE_REPLACEMENT): the contents now exist in the scratch file alone.
        // Deleting it there would lose the whole configuration.
        return MoveFileExW(scratch.wstring().c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    DeleteFileW(scratch.wstring().c_str());
    Handle again(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return again.Valid() && WriteInPlace(again.Get(), bytes);
}

bool ReplaceFileContents(const fs::path& path, std::string_view bytes)
{
    const std::wstring name = path.wstring();
    // Opening for writing refuses a read-only file and one the user's rights do not cover.
    Handle target(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!target.Valid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            return false;
        Handle created(CreateFileW(
            name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created.Valid())
            return false;
        if (WriteAll(created.Get(), bytes) && FlushFileBuffers(created.Get()))
            return true;
        created.Close();
        DeleteFileW(name.c_str());
        return false;
    }
    // Windows refuses to open a read-only file for writing; the attribute is checked as well
    // for the emulations that do not (Wine run as root opens it).
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(target.Get(), &info)
        || (info.dwFileAttributes
            & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)))
        return false;

    // A unique scratch file beside the target; GetTempFileNameW creates it exclusively.
    wchar_t scratch[MAX_PATH + 1] = {};
    const std::wstring folder = path.parent_path().empty() ? L"." : path.parent_path().wstring();
    if (info.nNumberOfLinks == 1 && GetTempFileNameW(folder.c_str(), L"qls", 0, scratch) != 0) {
        bool written = false;
        {
            Handle out(CreateFileW(scratch, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                FILE_ATTRIBUTE_NORMAL, nullptr));
            written = out.Valid() && WriteAll(out.Get(), bytes) && FlushFileBuffers(out.Get());
        }
        if (written) {
            target.Close();
            // Keeps the target's attributes, security and creation time.
            if (ReplaceFileW(name.c_str(), scratch, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                    nullptr, nullptr)) {
                // The attributes once more, for the file systems and emulations whose
                // ReplaceFileW does not carry them over (Wine's does not).
                constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN
                    | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_SYSTEM;
                if ((info.dwFileAttributes & kSettable) != 0)
                    SetFileAttributesW(name.c_str(), info.dwFileAttributes & kSettable);
                return true;
            }
            return FinishFailedReplace(path, fs::path(scratch), bytes);
        }
        DeleteFileW(scratch);
    }
    return WriteInPlace(target.Get(), bytes);
}

#else

namespace {

    // Closes a descriptor at the end of a scope.
    class Descriptor {
    public:
        explicit Descriptor(int fd)
            : fd_(fd)
        {
        }
        ~Descriptor() { Close(); }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        int Get() const { return fd_; }
        bool Valid() const { return fd_ >= 0; }
        bool Close()
        {
            const bool ok = fd_ < 0 || ::close(fd_) == 0;
            fd_ = -1;
            return ok;
        }

    private:
        int fd_;
    };

    bool WriteAll(int fd, std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // Rewrites the open file from its start and cuts it at the new length.
    bool WriteInPlace(int fd, std::string_view bytes)
    {
        return ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes)
            && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
    }

    // Makes a rename in folder durable; a folder that cannot be synced is not an error.
    void SyncFolder(const fs::path& folder)
    {
        Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Valid())
            ::fsync(dir.Get());
    }

    // Writes bytes to a new scratch file beside path and renames it over path, with the mode,
    // owner and group of `original`. False, with nothing left behind, when any step fails.
    bool ReplaceThroughScratch(
        const fs::path& path, const struct stat& original, std::string_view bytes)
    {
        const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        std::string pattern = (folder / path.filename()).string() + ".XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        // mkstemp creates the file with O_EXCL: it never opens an existing file or link.
        Descriptor scratch(::mkstemp(name.data()));
        if (!scratch.Valid())
            return false;
        struct stat made { };
        const bool ready = WriteAll(scratch.Get(), bytes)
            && ::fchmod(scratch.Get(), original.st_mode & 07777) == 0
            && (::fchown(scratch.Get(), original.st_uid, original.st_gid) == 0
                || (::fstat(scratch.Get(), &made) == 0 && made.st_uid == original.st_uid
                    && made.st_gid == original.st_gid))
            && ::fsync(scratch.Get()) == 0;
        if (!scratch.Close() || !ready || ::rename(name.data(), path.c_str()) != 0) {
            ::unlink(name.data());
            return false;
        }
        SyncFolder(folder);
        return true;
    }

} // namespace

bool ReplaceFileContents(const fs::path& path, std::string_view bytes)
{
    // Opening for writing is the check that the user may write the file itself.
    // O_NONBLOCK: a FIFO under that name is refused at once instead of waiting for a reader.
    Descriptor target(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!target.Valid()) {
        if (errno != ENOENT)
            return false;
        Descriptor created(
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!created.Valid())
            return false;
        if (WriteAll(created.Get(), bytes) && ::fsync(created.Get()) == 0 && created.Close())
            return true;
        ::unlink(path.c_str());
        return false;
    }
    struct stat original { };
    if (::fstat(target.Get(), &original) != 0 || !S_ISREG(original.st_mode))
        return false;
    if (original.st_nlink == 1 && ReplaceThroughScratch(path, original, bytes))
        return true;
    return WriteInPlace(target.Get(), bytes) && target.Close();
}

#endif

} // namespace quelsor
