#pragma once
// What happens to each piece of a script's output: the raw bytes go to the log
// at once, the decoded text feeds the progress reports and the statistics, and
// only a bounded part of it is kept in memory.

#include "BoundedLog.h"
#include "records/LogStore.h"
#include "records/Schedule.h"
#include "records/StatsCollector.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <span>

class OutputPump {
  public:
    // The output kept for the result: its last characters up to this count.
    static constexpr qsizetype kKeptOutput = 256 * 1024;
    // An unfinished line is held up to this length; a longer one is looked at in
    // pieces of it that overlap by kOverlap, so nothing at its end is missed.
    static constexpr qsizetype kLongestLine = 64 * 1024;
    static constexpr qsizetype kOverlap = 1024;
    // The blocks the output is read into.
    static constexpr qsizetype kBlock = 1024 * 1024;

    // Only the latest progress counts: of the lines a chunk ends, only the last
    // one holding a value is reported, and a value only when it changed.
    // `logLimit`: the most bytes of output the log keeps (BoundedLog); 0: all.
    OutputPump(int logFd, std::function<void(int)> onProgress, qint64 logLimit = 0);

    // Where the next read goes, `least` bytes or more. What is read there stays
    // for the result without a copy; `took` tells how much came.
    std::span<char> room(qsizetype least);
    void took(qsizetype n);
    // A chunk from elsewhere, copied into room() first.
    void feed(QByteArrayView chunk);
    void finish();

    QString output() const;
    LogStats stats() const { return stats_.finish(); }

  private:
    // What the chunk a line came from may hold at all.
    struct Hints {
        bool progress = true;
        bool stats = true;
    };
    void splitLines(const QString& text, Hints hints);
    // Reports the last whole line of `whole` that holds a value, decoding only it.
    void reportLastWhole(QByteArrayView whole);
    void process(QByteArrayView chunk);
    void writeLog(QByteArrayView chunk);
    // Lets go of the oldest blocks the result no longer needs.
    void trimKept();
    void addPending(QStringView text);
    void line(QStringView piece, Hints hints);
    // Whether the piece held a value to report.
    bool report(QStringView piece);
    void slideWindow();
    bool reportForms(const Schedule::ProgressForms& forms, bool final);

    BoundedLog log_;
    std::function<void(int)> onProgress_;
    // The latest raw output, decoded only for the result, in blocks that reads
    // fill; one block let go is kept to be filled again.
    struct Block {
        QByteArray bytes; // its size is the block's capacity
        qsizetype used = 0;
    };
    QList<Block> kept_;
    Block spare_;
    qsizetype keptBytes_ = 0;
    QString pending_;
    // For a line longer than kLongestLine: how much of pending_ earlier pieces
    // showed already, and the progress forms they settled (first match wins).
    qsizetype seen_ = 0;
    Schedule::ProgressForms settled_;
    std::optional<int> lastReported_; // a value is passed on only when it changes
    StatsCollector stats_;
};
