#pragma once
// Small POSIX file helpers: exact control of reads and errors, no exceptions.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <functional>
#include <optional>
#include <string_view>

#include <sys/types.h>

namespace PosixFile {

struct ReadResult {
    QByteArray data;
    int error = 0; // errno of the failure, 0 on success
    bool ok() const { return error == 0; }
};

QByteArray encodePath(const QString& path);
// A raw name as the file system holds it, back as text.
QString decodeName(std::string_view raw);

// Owns one descriptor and closes it once.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the one held; true unless that close failed.
    bool reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Writes every byte, through short writes and interruptions; false on an error.
bool writeAll(int fd, QByteArrayView bytes);
// Appends to an existing file (never creates one, never follows a link).
bool append(const QString& path, QByteArrayView bytes);

// Makes `path`, which must not exist yet, holding `bytes` from its first
// moment: a crash never leaves it empty or cut. `fd` is open for reading and
// writing; `error` is errno (EEXIST when the name is taken) or 0.
struct Created {
    UniqueFd fd;
    int error = 0;
};
Created createWith(const QString& path, QByteArrayView bytes);

// Opens an existing file for reading and writing (never makes one, never
// follows a link); not valid when it cannot.
UniqueFd openExisting(const QString& path);
// Removes a file's name; errno or 0.
int remove(const QString& path);

// Replaces `path` as a whole (a temp file beside it, then a rename), so a
// reader sees the old content or the new, never a part; errno or 0.
int replace(const QString& path, QByteArrayView bytes);

// What tells a file that changed: its size and modification time (nanoseconds).
struct Stamp {
    qint64 size = 0;
    qint64 mtimeNs = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};
// Follows links; absent when the path cannot be read.
std::optional<Stamp> stamp(const QString& path);
// A folder held open, so that many names in it are looked up without walking
// its path again; not valid when the folder cannot be opened.
UniqueFd openFolder(const QString& path);
// Calls `each` with every raw name in a folder but "." and ".."; false when
// the folder cannot be opened.
bool eachName(const QString& folder, const std::function<void(std::string_view)>& each);
// The names in a folder, "." and ".." left out; `keep`, given each raw name,
// picks which are decoded at all. Empty when the folder cannot be read.
QStringList names(const QString& folder, const std::function<bool(std::string_view)>& keep = {});
// Reads a folder's names to the end (a look that a dead server hangs); false
// when it cannot be opened.
bool readsThrough(const QString& folder);
// Who owns a folder and whether anybody else may write to it; absent when the
// path is no folder or cannot be looked at (links are followed).
struct FolderAccess {
    uid_t owner = 0;
    bool othersWrite = false;
};
std::optional<FolderAccess> folderAccess(const QString& path);
std::optional<Stamp> stamp(int fd);
std::optional<Stamp> stampAt(int folderFd, const QString& name);
// The readers take regular files only and never block on opening one; anything
// else fails with kNotRegular (or EISDIR for a folder).
constexpr int kNotRegular = ENXIO;
ReadResult readAll(const QString& path);
// Up to `limit` bytes from `offset`; a negative offset counts from the end (clamped to 0).
ReadResult readRange(const QString& path, qint64 offset, qint64 limit);
// An advisory lock on `path` (made when missing), held while `fd` lives and let
// go by the kernel when its holder dies. `busy` when another holds it; no `fd`
// and not busy when the file cannot be had at all.
struct Lock {
    UniqueFd fd;
    bool busy = false;
};
Lock tryLock(const QString& path);
// Whether any process holds such a lock on `path` now, asked of /proc/locks
// without taking it (taking it would turn away a run starting that moment).
bool lockHeld(const QString& path);
// A short German reason for an errno value.
QString reason(int error);

} // namespace PosixFile
