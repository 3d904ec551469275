#pragma once
// Writes a run's output into its log, keeping about `limit` bytes of it at most:
// the first half, one line saying how much was left out, and the latest half.
// A chatty script cannot fill the disk, and both what it printed first (what it
// set out to do) and last (how it ended) stay.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

class BoundedLog {
  public:
    // Output begins at the descriptor's offset now; `limit` 0 or less: no limit.
    BoundedLog(int fd, qint64 limit);
    // A full disk loses output, never the run.
    void write(QByteArrayView chunk);
    // Leaves no more than the latest half after the line; at the end of the run.
    void finish();

  private:
    qint64 half() const { return limit_ / 2; }
    // The first line start at or after `at` when one is near, else `at`; none
    // while too little has come after `at` to tell.
    std::optional<qint64> lineStart(qint64 at) const;
    void compact();

    int fd_;
    qint64 limit_;
    qint64 start_ = 0;
    qint64 end_ = 0;        // where the next byte goes
    qint64 firstEnd_ = -1;  // where the first half ended, once it has
    qint64 tailStart_ = -1; // where the latest output begins, after the line
    qint64 leftOut_ = 0;
};
