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
// is gone for a while. A CSV file that already holds records keeps the columns its header
// names: one of the nine columns without the link quality gets nine-column lines; a file with
// any other first line is not written to (Open fails).
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
    // Closes the file and opens its path afresh (Open), after the file has been renamed or
    // removed by a log rotation: the next records go to a new file there. Records written before
    // stay whole in the old one; those waiting go to the new one.
    bool Reopen(std::string& error) { return Open(error); }

    std::size_t Waiting() const { return waiting_.size(); }
    const std::string& Path() const { return path_; }

private:
    bool WriteWaiting(std::string& error);
    // The columns of an existing CSV file, from its first line; 0 for a header of another kind.
    std::size_t CsvColumnsOf(int fd) const;
    void Close();

    std::string path_;
    RecordFormat format_;
    int fd_ = -1;
    bool headerDue_ = false; // a new CSV file's header is the next line
    std::size_t columns_ = kCsvColumns; // of the CSV file open
    std::deque<ResultRecord> waiting_; // in order; made into lines for the file they go to
};

} // namespace quelsor
