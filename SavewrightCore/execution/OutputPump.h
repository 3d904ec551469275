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

class OutputPump {
  public:
    // The output kept for the result: its last characters up to this count.
    static constexpr qsizetype kKeptOutput = 256 * 1024;
    // An unfinished line is held up to this length; a longer one is looked at in
    // pieces of it that overlap by kOverlap, so nothing at its end is missed.
    static constexpr qsizetype kLongestLine = 64 * 1024;
    static constexpr qsizetype kOverlap = 1024;

    // Only the latest progress counts: of the lines a chunk ends, only the last
    // one holding a value is reported, and a value only when it changed.
    // `logLimit`: the most bytes of output the log keeps (BoundedLog); 0: all.
    OutputPump(int logFd, std::function<void(int)> onProgress, qint64 logLimit = 0);

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
    void writeLog(QByteArrayView chunk);
    void keep(QByteArrayView chunk);
    void addPending(QStringView text);
    void line(QStringView piece, Hints hints);
    // Whether the piece held a value to report.
    bool report(QStringView piece);
    void slideWindow();
    bool reportForms(const Schedule::ProgressForms& forms, bool final);

    BoundedLog log_;
    std::function<void(int)> onProgress_;
    QList<QByteArray> kept_; // the latest raw chunks, decoded only for the result
    qsizetype keptBytes_ = 0;
    QString pending_;
    // For a line longer than kLongestLine: how much of pending_ earlier pieces
    // showed already, and the progress forms they settled (first match wins).
    qsizetype seen_ = 0;
    Schedule::ProgressForms settled_;
    std::optional<int> lastReported_; // a value is passed on only when it changes
    StatsCollector stats_;
};
