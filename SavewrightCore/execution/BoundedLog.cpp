#include "BoundedLog.h"

#include "platform/PosixFile.h"

#include <algorithm>
#include <unistd.h>

namespace {

constexpr qint64 kLineSearch = 4096;
constexpr qint64 kCopyChunk = 1024 * 1024;
constexpr qint64 kMiB = 1024 * 1024;

} // namespace

BoundedLog::BoundedLog(int fd, qint64 limit) : fd_(fd), limit_(limit) {
    if (fd_ >= 0) start_ = end_ = std::max<qint64>(::lseek(fd_, 0, SEEK_CUR), 0);
}

void BoundedLog::write(QByteArrayView chunk) {
    if (fd_ < 0) return;
    if (PosixFile::writeAll(fd_, chunk))
        end_ += chunk.size();
    else
        end_ = std::max<qint64>(::lseek(fd_, 0, SEEK_CUR), end_);
    if (limit_ <= 0) return;
    if (firstEnd_ < 0 && end_ - start_ > half()) {
        if (const auto cut = lineStart(start_ + half())) firstEnd_ = tailStart_ = *cut;
    }
    if (firstEnd_ >= 0 && end_ - tailStart_ >= 2 * half()) compact();
}

void BoundedLog::finish() {
    if (fd_ >= 0 && firstEnd_ >= 0 && end_ - tailStart_ > half()) compact();
}

std::optional<qint64> BoundedLog::lineStart(qint64 at) const {
    QByteArray near(std::min(kLineSearch, end_ - at), Qt::Uninitialized);
    const ssize_t n = ::pread(fd_, near.data(), static_cast<size_t>(near.size()), at);
    const qsizetype lf = n > 0 ? near.first(n).indexOf('\n') : -1;
    if (lf >= 0) return at + lf + 1;
    // No line ends near: cut there, once enough has come to be sure.
    return end_ - at >= kLineSearch ? std::optional<qint64>(at) : std::nullopt;
}

void BoundedLog::compact() {
    const qint64 keepFrom = lineStart(end_ - half()).value_or(end_ - half());
    const qint64 leftOut = leftOut_ + keepFrom - tailStart_;
    char before = '\n';
    if (firstEnd_ > start_ && ::pread(fd_, &before, 1, firstEnd_ - 1) != 1) before = '\n';
    const QByteArray line =
        QByteArray(before == '\n' ? "" : "\n") + "--- " + QByteArray::number(leftOut) +
        " bytes of output left out (max_log_mb = " + QByteArray::number(limit_ / kMiB) + ") ---\n";
    const qint64 to = firstEnd_ + line.size();
    if (to > keepFrom) return; // too small a limit to say it; the next write tries again
    QByteArray buffer(std::min(kCopyChunk, end_ - keepFrom), Qt::Uninitialized);
    for (qint64 from = keepFrom; from < end_;) {
        const ssize_t n =
            ::pread(fd_, buffer.data(),
                    static_cast<size_t>(std::min<qint64>(buffer.size(), end_ - from)), from);
        if (n <= 0 ||
            ::pwrite(fd_, buffer.constData(), static_cast<size_t>(n), to + (from - keepFrom)) != n)
            return; // what could not be moved stays where it was, whole
        from += n;
    }
    // Without the line the log still holds both parts, only unmarked.
    [[maybe_unused]] const ssize_t said =
        ::pwrite(fd_, line.constData(), static_cast<size_t>(line.size()), firstEnd_);
    leftOut_ = leftOut;
    end_ = to + (end_ - keepFrom);
    tailStart_ = to;
    [[maybe_unused]] const int cut = ::ftruncate(fd_, end_);
    ::lseek(fd_, end_, SEEK_SET);
}
