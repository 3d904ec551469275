#include "PosixFile.h"

#include "base/Language.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PosixFile {

QByteArray encodePath(const QString& path) {
    return QFile::encodeName(path);
}

QString decodeName(std::string_view raw) {
    return QFile::decodeName(
        QByteArray::fromRawData(raw.data(), static_cast<qsizetype>(raw.size())));
}

namespace {

Stamp stampOf(const struct stat& st) {
    return Stamp{static_cast<qint64>(st.st_size),
                 static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

} // namespace

std::optional<Stamp> stamp(const QString& path) {
    struct stat st {};
    if (::stat(encodePath(path).constData(), &st) != 0) return std::nullopt;
    return stampOf(st);
}

Lock tryLock(const QString& path) {
    Lock lock;
    lock.fd = UniqueFd(
        ::open(encodePath(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (lock.fd && ::flock(lock.fd.get(), LOCK_EX | LOCK_NB) != 0) {
        lock.busy = errno == EWOULDBLOCK;
        lock.fd.reset();
    }
    return lock;
}

bool lockHeld(const QString& path) {
    struct stat st {};
    if (::stat(encodePath(path).constData(), &st) != 0) return false;
    // "1: FLOCK  ADVISORY  WRITE 9886 fe:00:10954710 0 EOF": device in hex, inode.
    char id[64];
    std::snprintf(id, sizeof id, " %02x:%02x:%llu ", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    for (const QByteArray& line : readAll(QStringLiteral("/proc/locks")).data.split('\n'))
        if (line.contains("FLOCK") && line.contains(id)) return true;
    return false;
}

UniqueFd openFolder(const QString& path) {
    return UniqueFd(::open(encodePath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool eachName(const QString& folder, const std::function<void(std::string_view)>& each) {
    DIR* dir = ::opendir(encodePath(folder).constData());
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name != "." && name != "..") each(name);
    }
    ::closedir(dir);
    return true;
}

QStringList names(const QString& folder, const std::function<bool(std::string_view)>& keep) {
    QStringList out;
    eachName(folder, [&](std::string_view name) {
        if (!keep || keep(name)) out.append(decodeName(name));
    });
    return out;
}

bool readsThrough(const QString& folder) {
    return eachName(folder, [](std::string_view) {});
}

std::optional<FolderAccess> folderAccess(const QString& path) {
    struct stat st {};
    if (::stat(encodePath(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return FolderAccess{st.st_uid, (st.st_mode & S_IWOTH) != 0};
}

std::optional<Stamp> stamp(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
    return stampOf(st);
}

std::optional<Stamp> stampAt(int folderFd, const QString& name) {
    struct stat st {};
    if (folderFd < 0 || ::fstatat(folderFd, encodePath(name).constData(), &st, 0) != 0)
        return std::nullopt;
    return stampOf(st);
}

bool UniqueFd::reset(int fd) {
    const bool ok = fd_ < 0 || ::close(fd_) == 0;
    fd_ = fd;
    return ok;
}

bool writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        left -= n;
    }
    return true;
}

bool append(const QString& path, QByteArrayView bytes) {
    UniqueFd fd(::open(encodePath(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return false;
    const bool ok = writeAll(fd.get(), bytes);
    return fd.reset() && ok;
}

namespace {

// A nameless file in the folder, written, then given its name: the name never
// shows a file without its bytes. Absent where the file system has no
// nameless files or /proc is missing.
std::optional<Created> createNamedLast(const QByteArray& target, QByteArrayView bytes) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.first(slash) : QByteArray(slash == 0 ? "/" : ".");
    Created made;
    made.fd = UniqueFd(::open(folder.constData(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0644));
    if (!made.fd) return std::nullopt;
    if (!writeAll(made.fd.get(), bytes)) return Created{{}, errno ? errno : EIO};
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(made.fd.get());
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
        return made;
    if (errno == ENOENT && ::access("/proc/self/fd", X_OK) != 0) return std::nullopt;
    return Created{{}, errno};
}

} // namespace

Created createWith(const QString& path, QByteArrayView bytes) {
    const QByteArray target = encodePath(path);
    if (auto made = createNamedLast(target, bytes)) return std::move(*made);
    Created made;
    made.fd = UniqueFd(
        ::open(target.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!made.fd) return Created{{}, errno};
    if (!writeAll(made.fd.get(), bytes)) {
        made.error = errno ? errno : EIO;
        made.fd.reset();
        ::unlink(target.constData());
    }
    return made;
}

UniqueFd openExisting(const QString& path) {
    return UniqueFd(::open(encodePath(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
}

int remove(const QString& path) {
    return ::unlink(encodePath(path).constData()) == 0 ? 0 : errno;
}

int replace(const QString& path, QByteArrayView bytes) {
    const QByteArray target = encodePath(path);
    const qsizetype slash = target.lastIndexOf('/');
    // Hidden and without the target's extension: collectors that read "*.prom"
    // never pick up a half-written file.
    const QByteArray temp = target.first(slash + 1) + '.' + target.mid(slash + 1) + ".tmp-" +
                            QByteArray::number(::getpid());
    UniqueFd fd(
        ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return errno;
    const bool written = writeAll(fd.get(), bytes);
    int error = written ? 0 : (errno ? errno : EIO);
    if (!fd.reset() && !error) error = errno;
    if (!error && ::rename(temp.constData(), target.constData()) != 0) error = errno;
    if (error) ::unlink(temp.constData());
    return error;
}

namespace {

// Reads until `limit` bytes or end of file; returns errno or 0.
int readInto(int fd, QByteArray& out, qint64 limit) {
    qint64 filled = 0;
    out.resize(limit);
    while (filled < limit) {
        ssize_t n = ::read(fd, out.data() + filled, static_cast<size_t>(limit - filled));
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return errno;
        }
        if (n == 0) break;
        filled += n;
    }
    out.resize(filled);
    return 0;
}

// Opens a regular file for reading. A FIFO or device named like a log or
// config.toml must not block the reader: the open never waits and anything but
// a regular file is refused.
int openRegular(const QString& path, struct stat& st) {
    const int fd = ::open(encodePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -errno;
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = kNotRegular;
    if (error == 0) return fd;
    ::close(fd);
    return -error;
}

} // namespace

ReadResult readRange(const QString& path, qint64 offset, qint64 limit) {
    ReadResult r;
    struct stat st {};
    UniqueFd fd(openRegular(path, st));
    if (fd.get() < 0) {
        r.error = -fd.get();
        return r;
    }
    if (offset < 0) offset = std::max<qint64>(0, st.st_size + offset);
    if (offset > 0 && ::lseek(fd.get(), offset, SEEK_SET) < 0) {
        r.error = errno;
        return r;
    }
    r.error = readInto(fd.get(), r.data, limit);
    return r;
}

ReadResult readAll(const QString& path) {
    ReadResult r;
    struct stat st {};
    UniqueFd fd(openRegular(path, st));
    if (fd.get() < 0) {
        r.error = -fd.get();
        return r;
    }
    // The size is a hint only: the file may grow while it is read.
    qint64 chunk = std::max<qint64>(st.st_size + 1, 4096);
    for (;;) {
        QByteArray part;
        r.error = readInto(fd.get(), part, chunk);
        if (r.error) {
            r.data.clear();
            return r;
        }
        r.data += part;
        if (part.size() < chunk) return r;
        chunk = 1 << 20;
    }
}

QString reason(int error) {
    switch (error) {
    case ENOENT:
        return Language::translate("PosixFile", "Datei fehlt");
    case EACCES:
    case EPERM:
        return Language::translate("PosixFile", "keine Berechtigung");
    case EISDIR:
        return Language::translate("PosixFile", "ist ein Ordner");
    case kNotRegular:
        return Language::translate("PosixFile", "keine normale Datei");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace PosixFile
