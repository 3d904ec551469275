#pragma once
// What happens to each piece of a script's output: the raw bytes go to the log
// at once, the decoded text feeds the progress reports and the statistics, and
// only a bounded part of it is kept in memory.

#include "records/LogStore.h"
#include "records/StatsCollector.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

class OutputPump {
  public:
    // The output kept for the result: its last characters up to this count.
    static constexpr qsizetype kKeptOutput = 256 * 1024;
    // An unfinished line longer than this is cut: only its start is looked at.
    static constexpr qsizetype kLongestLine = 64 * 1024;

    OutputPump(int logFd, std::function<void(int)> onProgress);

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
    void writeLog(QByteArrayView chunk);
    void keep(QByteArrayView chunk);
    void addPending(QStringView text);
    void line(QStringView piece, Hints hints);
    void report(QStringView piece);

    int logFd_;
    std::function<void(int)> onProgress_;
    QList<QByteArray> kept_; // the latest raw chunks, decoded only for the result
    qsizetype keptBytes_ = 0;
    QString pending_;
    StatsCollector stats_;
};
