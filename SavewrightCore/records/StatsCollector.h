#pragma once
// Finds rsync's statistics in output that streams by line by line, with the same
// result as LogStore::parseStats over the whole output, in bounded memory.

#include "LogStore.h"

#include <array>

class StatsCollector {
  public:
    StatsCollector();
    // One piece of output between line breaks ("\r" or "\n"); consecutive calls
    // are separated by a line break in the output.
    void addLine(QStringView line) { addPiece(line, 0, line.size()); }
    // A piece of a line too long to hold at once. Rows waiting for a value read
    // it from `seen` on (what came before was shown to them already); labels
    // count only when they start before `labelsBefore`, so the caller can show
    // the rest again at the start of the next piece of the same line.
    void addPiece(QStringView piece, qsizetype seen, qsizetype labelsBefore);
    // Whether a label seen earlier still waits for its value in a later line.
    bool expectsValue() const;
    // The statistics in table order, as parseStats would give them.
    LogStats finish() const;

  private:
    enum class State { Searching, AfterLabel, Done };
    struct Row {
        QString label; // what the output says
        QString name;  // what the log shows
        bool digits;   // value is a run of digits rather than the rest of the line
        State state = State::Searching;
        QString value;
        // For a label followed only by white space so far: the last white-space
        // character that is not a line end, which the whole-output match settles on.
        std::optional<QChar> lastBlank;
    };
    void scan(Row& row, QStringView line, qsizetype from, qsizetype labelsBefore);
    static void afterLabel(Row& row, QStringView line, qsizetype from, StatsCollector& self);
    std::array<Row, 6> rows_;
    qsizetype labelsBefore_ = 0; // of the piece being read
};
