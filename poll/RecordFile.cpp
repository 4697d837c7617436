#include "RecordFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

#ifdef _WIN32
#include "common/WideText.h"

#include <io.h>
#else
#include <unistd.h>
#endif

namespace quelsor {

namespace {

    std::string SystemError(const std::string& path, const char* what)
    {
        return path + ": " + what + ": " + std::strerror(errno);
    }

#ifdef _WIN32
    // The name is UTF-8: the narrow _open would read it in the ANSI code page.
    int OpenAppend(const std::string& path)
    {
        std::wstring wide;
        if (!WideFromUtf8(path, wide)) {
            errno = EINVAL;
            return -1;
        }
        return ::_wopen(
            wide.c_str(), _O_RDWR | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
    }
    bool SyncFile(int fd) { return ::_commit(fd) == 0; }
    long long FileSize(int fd) { return ::_lseeki64(fd, 0, SEEK_END); }
    bool CutAt(int fd, long long size) { return ::_chsize_s(fd, size) == 0; }
    long long ReadAt(int fd, long long offset, char* buffer, unsigned size)
    {
        if (::_lseeki64(fd, offset, SEEK_SET) != offset)
            return -1;
        return ::_read(fd, buffer, size);
    }
    long long WriteOnce(int fd, const char* data, std::size_t size)
    {
        return ::_write(fd, data, static_cast<unsigned>(size));
    }
    void CloseFile(int fd) { ::_close(fd); }
#else
    int OpenAppend(const std::string& path)
    {
        return ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    }
    bool SyncFile(int fd) { return ::fdatasync(fd) == 0; }
    long long FileSize(int fd) { return ::lseek(fd, 0, SEEK_END); }
    bool CutAt(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
    long long ReadAt(int fd, long long offset, char* buffer, unsigned size)
    {
        return ::pread(fd, buffer, size, static_cast<off_t>(offset));
    }
    long long WriteOnce(int fd, const char* data, std::size_t size)
    {
        ssize_t written = 0;
        do
            written = ::write(fd, data, size);
        while (written < 0 && errno == EINTR);
        return written;
    }
    void CloseFile(int fd) { ::close(fd); }
#endif

    // The size of the file without a last line that has no line end (a write cut short), or -1.
    long long SizeWithoutTornLine(int fd)
    {
        const long long size = FileSize(fd);
        if (size <= 0)
            return size;
        char buffer[4096];
        long long end = size;
        while (end > 0) {
            const long long start = end > static_cast<long long>(sizeof buffer)
                ? end - static_cast<long long>(sizeof buffer)
                : 0;
            const auto length = static_cast<unsigned>(end - start);
            if (ReadAt(fd, start, buffer, length) != static_cast<long long>(length))
                return -1;
            for (long long i = end - 1; i >= start; --i) {
                if (buffer[i - start] == '\n')
                    return i + 1;
            }
            end = start;
        }
        return 0;
    }

} // namespace

RecordFile::RecordFile(std::string path, RecordFormat format)
    : path_(std::move(path))
    , format_(format)
{
}

RecordFile::~RecordFile() { Close(); }

void RecordFile::Close()
{
    if (fd_ >= 0)
        CloseFile(fd_);
    fd_ = -1;
}

bool RecordFile::Open(std::string& error)
{
    Close();
    const int fd = OpenAppend(path_);
    if (fd < 0) {
        error = SystemError(path_, "cannot open");
        return false;
    }
    const long long size = FileSize(fd);
    const long long kept = SizeWithoutTornLine(fd);
    if (size < 0 || kept < 0 || (kept < size && (!CutAt(fd, kept) || !SyncFile(fd)))) {
        error = SystemError(path_, "cannot read or repair");
        CloseFile(fd);
        return false;
    }
    headerDue_ = false;
    columns_ = kCsvColumns;
    if (format_ == RecordFormat::Csv) {
        if (kept == 0) {
            headerDue_ = true;
        } else {
            columns_ = CsvColumnsOf(fd);
            if (columns_ == 0) {
                error = path_ + ": not a file of records: its first line is not the header "
                    + CsvHeaderLine().substr(0, CsvHeaderLine().size() - 2);
                CloseFile(fd);
                return false;
            }
        }
    }
    fd_ = fd;
    return WriteWaiting(error);
}

std::size_t RecordFile::CsvColumnsOf(int fd) const
{
    char first[256];
    const long long length = ReadAt(fd, 0, first, sizeof first);
    const std::string_view start(first, length > 0 ? static_cast<std::size_t>(length) : 0);
    for (const std::size_t columns : { kCsvColumns, kCsvColumnsWithoutQuality }) {
        if (start.substr(0, start.find('\n') + 1) == CsvHeaderLine(columns))
            return columns;
    }
    return 0;
}

bool RecordFile::Append(const ResultRecord& record, std::string& error)
{
    waiting_.push_back(record);
    return WriteWaiting(error);
}

bool RecordFile::Retry(std::string& error) { return WriteWaiting(error); }

bool RecordFile::WriteWaiting(std::string& error)
{
    if (waiting_.empty() && !headerDue_)
        return true;
    if (fd_ < 0 && !Open(error))
        return false;
    while (headerDue_ || !waiting_.empty()) {
        const std::string line = headerDue_ ? CsvHeaderLine()
            : format_ == RecordFormat::Csv  ? FormatCsvLine(waiting_.front(), columns_)
                                            : FormatJsonLine(waiting_.front());
        const long long before = FileSize(fd_);
        const long long written = WriteOnce(fd_, line.data(), line.size());
        if (written != static_cast<long long>(line.size()) || !SyncFile(fd_)) {
            error = SystemError(path_, "cannot write");
            // A partial line is taken back so that the file never keeps it.
            if (written > 0 && before >= 0)
                CutAt(fd_, before);
            Close();
            return false;
        }
        if (headerDue_)
            headerDue_ = false;
        else
            waiting_.pop_front();
    }
    return true;
}

} // namespace quelsor
