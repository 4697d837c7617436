#pragma once

#include "decoder/ResultRecord.h"

#include <deque>
#include <string>

namespace quelsor {

// A file of results that only grows: CSV (with its header line when the file is new or empty)
// or JSON Lines. Every record is one line, appended with a single write and flushed to the disk
// before the next, so that a crash or a power cut can at worst cut the last line short; such a
// torn line is removed when the file is opened again. A line that cannot be written is kept and
// written, in order, with the next one: nothing is lost while the disk is full or the folder
// is gone for a while.
class RecordFile {
public:
    RecordFile(std::string path, RecordFormat format);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens the file for appending, creating it. False, with the reason in error, when it cannot
    // be opened or repaired.
    bool Open(std::string& error);

    // Appends the record after the ones still waiting, and writes what it can. False, with the
    // reason in error, when something is still waiting afterwards.
    bool Append(const ResultRecord& record, std::string& error);
    // Writes the lines still waiting (reopening the file when needed).
    bool Retry(std::string& error);

    std::size_t Waiting() const { return waiting_.size(); }
    const std::string& Path() const { return path_; }

private:
    bool WriteWaiting(std::string& error);
    void Close();

    std::string path_;
    RecordFormat format_;
    int fd_ = -1;
    std::deque<std::string> waiting_; // whole lines, in order
};

} // namespace quelsor
