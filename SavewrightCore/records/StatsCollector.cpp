#include "StatsCollector.h"

#include "base/Text.h"

#include <algorithm>

namespace {

// The characters that end a line for ".": LF, VT, FF, CR, NEL, LS, PS.
bool isLineEnd(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QString trimBlanks(QStringView s) {
    return Text::trimBlanks(s).toString();
}

} // namespace

StatsCollector::StatsCollector() {
    const char* table[6][2] = {
        {"Number of files:", "Files"},
        {"Number of files transferred:", "Files transferred"},
        {"Total file size:", "Total file size"},
        {"Total transferred file size:", "Transferred size"},
        {"Total bytes sent:", "Bytes sent"},
        {"Total bytes received:", "Bytes received"},
    };
    for (int i = 0; i < 6; ++i) {
        rows_[i].label = QString::fromLatin1(table[i][0]);
        rows_[i].name = QString::fromLatin1(table[i][1]);
        rows_[i].digits = i == 1;
    }
}

bool StatsCollector::expectsValue() const {
    return std::any_of(rows_.cbegin(), rows_.cend(),
                       [](const Row& r) { return r.state == State::AfterLabel; });
}

void StatsCollector::addPiece(QStringView line, qsizetype seen, qsizetype labelsBefore) {
    // Every label ends in ":": most output lines are passed over by one scan.
    if (!expectsValue() && !line.contains(u':')) return;
    labelsBefore_ = labelsBefore;
    for (Row& row : rows_) {
        if (row.state == State::AfterLabel) {
            afterLabel(row, line, std::min(seen, line.size()), *this);
        } else if (row.state == State::Searching) {
            scan(row, line, 0, labelsBefore);
        }
    }
}

void StatsCollector::scan(Row& row, QStringView line, qsizetype from, qsizetype labelsBefore) {
    const qsizetype at = line.indexOf(row.label, from);
    if (at < 0 || at >= labelsBefore) return;
    row.state = State::AfterLabel;
    row.lastBlank.reset();
    afterLabel(row, line, at + row.label.size(), *this);
}

void StatsCollector::afterLabel(Row& row, QStringView line, qsizetype from, StatsCollector& self) {
    qsizetype i = from;
    while (i < line.size() && line[i].isSpace()) {
        if (!isLineEnd(line[i])) row.lastBlank = line[i];
        ++i;
    }
    if (i == line.size()) return; // still white space: the match may go on in the next line
    if (row.digits) {
        qsizetype end = i;
        while (end < line.size() && line[end].isDigit())
            ++end;
        if (end == i) {
            // Not a number after all: look for the next label from here.
            row.state = State::Searching;
            self.scan(row, line, i, self.labelsBefore_);
            return;
        }
        row.value = line.mid(i, end - i).toString();
    } else {
        qsizetype end = i;
        while (end < line.size() && !isLineEnd(line[end]))
            ++end;
        row.value = trimBlanks(line.mid(i, end - i));
    }
    row.state = State::Done;
}

LogStats StatsCollector::finish() const {
    LogStats stats;
    for (const Row& row : rows_) {
        if (row.state == State::Done)
            stats.append({row.name, row.value});
        else if (row.state == State::AfterLabel && !row.digits && row.lastBlank)
            stats.append({row.name, trimBlanks(QStringView(&*row.lastBlank, 1))});
    }
    return stats;
}
