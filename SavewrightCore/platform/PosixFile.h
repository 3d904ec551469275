#pragma once
// Small POSIX file helpers: exact control of reads and errors, no exceptions.

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <optional>

namespace PosixFile {

struct ReadResult {
    QByteArray data;
    int error = 0; // errno of the failure, 0 on success
    bool ok() const { return error == 0; }
};

QByteArray encodePath(const QString& path);

// What tells a file that changed: its size and modification time (nanoseconds).
struct Stamp {
    qint64 size = 0;
    qint64 mtimeNs = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};
// Follows links; absent when the path cannot be read.
std::optional<Stamp> stamp(const QString& path);
// The readers take regular files only and never block on opening one; anything
// else fails with kNotRegular (or EISDIR for a folder).
constexpr int kNotRegular = ENXIO;
ReadResult readAll(const QString& path);
// Up to `limit` bytes from `offset`; a negative offset counts from the end (clamped to 0).
ReadResult readRange(const QString& path, qint64 offset, qint64 limit);
// A short German reason for an errno value.
QString reason(int error);

} // namespace PosixFile
