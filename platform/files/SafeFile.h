#pragma once
// Replacing a file so that nothing is lost: the new bytes are written beside the
// target, synced, and renamed over it only once complete, so a full disk or a crash
// at any moment leaves either the old file or the new one, never a truncated one. A
// program that is running is replaced the same way (Linux refuses to rewrite it); it
// goes on from its old file and the new one takes effect at its next start.
// What the user set up around the file stays as it was: a write-protected file is
// refused, a symbolic link stays a link, and a file that cannot be replaced by a new
// one (its folder is write-protected, or it has other names) is written in place.
// A temporary file that a killed writer left behind is removed the next time the same
// file is written; one that a live writer still holds stays.
// Files named by the user are read only when they are plain files (OpenForReading).

#include <cstddef>
#include <cstdint>
#include <string>

class QFile;
class QString;

namespace platform {

// Writes bytes to a descriptor; a stand-in for write(2) so tests can fail it like a
// full disk. Returns the count written or -1.
using WriteFn = long (*)(int fd, const void* data, std::size_t size);

// Replaces the contents of the file at path (in the file system's encoding) with the
// bytes. Through symbolic links, the file they lead to is written and the links stay.
// A file without any write permission is refused, as root too. Normally the bytes go
// to a new file beside it (created exclusively, never through a link) that takes the
// old file's permissions and owner and is renamed over it once synced; a file in a
// folder that cannot be written, one with other hard links, or one that is not a
// regular file is overwritten in place instead, unless it is a running program. False
// on any failure, with *error (when given) saying why; no temporary file stays behind.
bool ReplaceFile(const std::string& path, const void* data, std::size_t size, WriteFn write = nullptr,
                 std::string* error = nullptr);

// A replacement whose bytes arrive piece by piece (a download), under the rules of
// ReplaceFile: they collect in the temporary file beside the target, or, where the
// target must be written in place, in a nameless file in the system's temporary
// folder, and reach the target only in commit(). Memory use does not grow with the
// file. Destroying an unfinished replacement leaves every file as it was.
class FileReplacement {
public:
    explicit FileReplacement(WriteFn write = nullptr);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Prepares the replacement of the file at path; false (with *error) when it may not
    // be replaced at all, e.g. write-protected or running from a write-protected folder.
    bool open(const std::string& path, std::string* error = nullptr);
    bool append(const void* data, std::size_t size, std::string* error = nullptr);
    // All of the new bytes at once, instead of appending them: where the file is
    // written in place, commit() writes them from `data` without a copy, so they must
    // stay until then.
    bool setContents(const void* data, std::size_t size, std::string* error = nullptr);
    // The new file gets execute permission wherever it may be read.
    void setExecutable() { executable_ = true; }
    // Puts the bytes appended so far in place of the file. When backup is not empty and
    // there was a file, that previous file takes the name backup in the same step (an
    // earlier backup stays when anything fails). Once it returns, the replacement is
    // over either way.
    bool commit(const std::string& backup = {}, std::string* error = nullptr);
    // Drops the bytes; the file stays as it was.
    void discard();

private:
    bool fail(int code, std::string* error);
    // Writes the new bytes into the target itself.
    bool writeInPlace(int& code);
    // Writes the new bytes into fd: the ones handed over whole, or those collected in fd_.
    bool writeBytesTo(int fd, WriteFn write);

    WriteFn write_;
    std::string target_;    // the file replaced, links followed
    std::string temporary_; // the new file beside it; empty when written in place
    int fd_ = -1;           // the temporary file, or the nameless one for writing in place
    bool inPlace_ = false;
    bool hadFile_ = false;
    bool running_ = false; // the file is a running program: only a rename replaces it
    bool executable_ = false;
    std::uint64_t size_ = 0;
    const void* whole_ = nullptr; // bytes handed over at once (setContents), written without a copy
};

// Opens an existing file for writing (O_WRONLY and O_CLOEXEC with the given flags).
// A file without any write permission is refused with EACCES even where the system
// would let the caller write it (root). Returns the descriptor or -1 with errno set.
int OpenForWriting(const std::string& path, int flags = 0);

// Opens a plain file for reading (O_RDONLY and O_CLOEXEC with the given flags). Anything
// else is refused at once and is not opened: a folder (EISDIR), a FIFO, whose open would
// wait for a writer, a device, which may never end and which an open may reset, or a
// socket (EINVAL); with O_NOFOLLOW, a symbolic link (ELOOP). Reads of the descriptor then
// wait for the disk as usual. Returns the descriptor or -1 with errno set.
int OpenForReading(const std::string& path, int flags = 0);
// The same for a QFile: opens `file` on the plain file at path (a name as Qt takes it).
// False, with `file` closed, when the file was refused or could not be opened.
bool OpenForReading(QFile& file, const QString& path);

// Writes all bytes to fd, retrying short writes and interruptions. A write that takes
// nothing counts as a full disk (errno ENOSPC). *written (when given) receives the
// count that reached the file, also on failure.
bool WriteAll(int fd, const void* data, std::size_t size, WriteFn write = nullptr, std::size_t* written = nullptr);

} // namespace platform
