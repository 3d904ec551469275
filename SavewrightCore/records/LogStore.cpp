#include "LogStore.h"

#include "base/Text.h"
#include "platform/PosixFile.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unistd.h>

namespace {

const QString kExtension = QStringLiteral(".log");
constexpr qsizetype kStampLength = 19;
// Where finalize looks for the RUNNING status: the header, never the output.
constexpr qint64 kHeaderSearch = 64 * 1024;
constexpr auto kTempLeftoverAge = std::chrono::hours(1);

// The header's status is line 4, whatever the name or script hold; -1 when
// that line is not `status`.
qsizetype statusLineStart(const QByteArray& head, const QByteArray& status) {
    qsizetype pos = 0;
    for (int line = 1; line < 4; ++line) {
        pos = head.indexOf('\n', pos);
        if (pos < 0) return -1;
        ++pos;
    }
    const QByteArray expected = status + '\n';
    return head.mid(pos, expected.size()) == expected ? pos : -1;
}

QByteArray trailer(const LogStats& stats, Clock::time_point finished) {
    QByteArray tail = "\n--- Finished: " + LogTime::inFileStamp(finished).toLatin1() + " ---\n";
    if (stats.isEmpty()) return tail;
    tail += QByteArrayView(LogStore::kStatsHeading.data(), LogStore::kStatsHeading.size());
    for (const LogStat& s : stats)
        tail += s.label.toUtf8() + ": " + s.value.toUtf8() + '\n';
    return tail;
}

} // namespace

QString LogStore::abortMarker() {
    return QStringLiteral("--- Abgebrochen:");
}

std::optional<QStringView> LogListing::ownerOf(QStringView name) {
    // Only "<19-char stamp>_<safe name>.log" can belong to a task.
    if (name.size() < kStampLength + 1 + kExtension.size() || name[kStampLength] != u'_' ||
        !name.endsWith(kExtension))
        return std::nullopt;
    return name.sliced(kStampLength + 1, name.size() - kStampLength - 1 - kExtension.size());
}

LogListing LogListing::of(QStringList names) {
    LogListing l;
    for (const QString& n : names)
        if (const auto owner = ownerOf(n)) l.candidates[owner->toString()].append(n);
    l.names = std::move(names);
    return l;
}

LogListing LogStore::listing(const QString& onlyOf) const {
    // "_<safe name>.log" ends a log's name and stands before ".tmp-" in its temp file's.
    const QByteArray tail = PosixFile::encodePath(u'_' + onlyOf + kExtension);
    const QByteArray tempTail = tail + ".tmp-";
    const auto mayBeTheTasks = [&](std::string_view name) {
        return name.ends_with(tail.constData()) ||
               (name.starts_with('.') && name.find(tempTail.constData()) != name.npos);
    };
    return LogListing::of(PosixFile::names(
        directory, onlyOf.isEmpty() ? std::function<bool(std::string_view)>() : mayBeTheTasks));
}

std::optional<QDateTime> LogStore::startDate(QStringView fileName, QStringView safeName) {
    const qsizetype suffix = 1 + safeName.size() + kExtension.size();
    if (fileName.size() < suffix || !fileName.endsWith(kExtension) ||
        fileName[fileName.size() - suffix] != u'_' ||
        fileName.mid(fileName.size() - suffix + 1, safeName.size()) != safeName)
        return std::nullopt;
    const QStringView stamp = fileName.left(fileName.size() - suffix);
    if (stamp.size() != kStampLength) return std::nullopt;
    return LogTime::parseFileStamp(stamp);
}

QString LogStore::fileName(Clock::time_point start, const QString& safeName) {
    return LogTime::fileStamp(start) + u'_' + safeName + kExtension;
}

QStringList LogStore::candidates(const QString& safeName, const LogListing* given) const {
    LogListing read;
    if (!given) read = listing();
    const LogListing& l = given ? *given : read;
    return candidatesOf(l.candidates.value(safeName));
}

QStringList LogStore::candidatesOf(const QStringList& grouped) {
    QStringList names;
    // Candidates already end in "_<safeName>.log": only the stamp is left to check.
    for (const QString& n : grouped)
        if (LogTime::isFileStamp(QStringView(n).left(kStampLength))) names.append(n);
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

QList<DatedRun> LogStore::runs(const QString& safeName, const LogListing* given) const {
    const PosixFile::UniqueFd folder = PosixFile::openFolder(directory);
    return RunOrder::order(directory, folder.get(), safeName, candidates(safeName, given),
                           RunOrder::recorded(directory, safeName));
}

QStringList LogStore::fileNames(const QString& safeName, const LogListing* given) const {
    QStringList names;
    for (const DatedRun& r : runs(safeName, given))
        names.append(r.name);
    return names;
}

QStringList LogStore::files(const QString& safeName, const LogListing* given) const {
    QStringList names = fileNames(safeName, given);
    for (QString& n : names)
        n = directory + u'/' + n;
    return names;
}

LogStore::Opened LogStore::open(const QString& taskName, const QString& safeName,
                                const QString& script, Clock::time_point start) const {
    if (!QDir().mkpath(directory))
        return {{}, QStringLiteral("Could not create the log folder %1").arg(directory), {}};
    const QByteArray header =
        (QStringLiteral("Ferrymat Log — ") + taskName + QStringLiteral("\nStarted: ") +
         LogTime::inFileStamp(start) + QStringLiteral("\nScript: ") + script +
         QStringLiteral("\nStatus: RUNNING\n\n--- Output ---\n"))
            .toUtf8();
    for (int second = 0; second < 3600; ++second) {
        const auto named = start + std::chrono::seconds(second);
        const QString name = fileName(named, safeName);
        const QString file = directory + u'/' + name;
        if (PosixFile::stamp(file)) continue;
        // Recorded before the log appears: whoever sees it can already order it.
        RunOrder::record(directory, safeName, name, named);
        // Made with its header: a kill at any moment leaves no empty log.
        PosixFile::Created made = PosixFile::createWith(file, header);
        if (made.error == EEXIST) continue;
        if (made.error)
            return {{},
                    QStringLiteral("Could not create %1: %2")
                        .arg(file, QString::fromLocal8Bit(std::strerror(made.error))),
                    {}};
        return {file, std::nullopt, std::move(made.fd)};
    }
    return {{}, QStringLiteral("No free log file name for %1").arg(safeName), {}};
}

bool LogStore::finalize(const QString& file, const LogStats& stats, bool success,
                        Clock::time_point finished) {
    const PosixFile::UniqueFd fd = PosixFile::openExisting(file);
    return fd && finalize(fd.get(), stats, success, finished);
}

bool LogStore::finalize(int fd, const LogStats& stats, bool success, Clock::time_point finished) {
    QByteArray head(kHeaderSearch, Qt::Uninitialized);
    const ssize_t n = ::pread(fd, head.data(), static_cast<size_t>(head.size()), 0);
    if (n < 0) return false;
    head.truncate(n);
    const qsizetype pos = statusLineStart(head, "Status: RUNNING");
    // The trailer goes first, then the status flips in place, so a reader or a
    // crash sees a RUNNING file or the finished one. A trailer that finds no
    // room (a full disk) keeps nobody from learning how the run ended.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    const QByteArray tail = trailer(stats, finished);
    const bool appended =
        end >= 0 &&
        ::pwrite(fd, tail.constData(), static_cast<size_t>(tail.size()), end) == tail.size();
    if (pos < 0) return appended;
    // The line keeps its length: "FAILED" is one letter shorter than "RUNNING",
    // so the empty line after it takes the byte.
    const QByteArray status = success ? "Status: SUCCESS\n" : "Status: FAILED\n\n";
    return ::pwrite(fd, status.constData(), static_cast<size_t>(status.size()), pos) ==
           status.size();
}

void LogStore::cleanup(const QString& safeName, qint64 keep, const QString& spared,
                       Clock::time_point now) const {
    // One look at the folder, decoding only this task's names: it may hold
    // tens of thousands of other logs.
    const LogListing mine = listing(safeName);
    QStringList others = files(safeName, &mine);
    // The spared log (the run that just ended) stays and counts, whatever the
    // record of made runs says.
    const bool hasSpared = others.removeAll(spared) > 0;
    keep = std::max<qint64>(keep, 1) - (hasSpared ? 1 : 0);
    for (qsizetype i = keep; i < others.size(); ++i)
        PosixFile::remove(others[i]);
    // Another finalize of the same safe name (a twin task, another copy) may be
    // writing its temp file right now: only ones untouched for long are leftovers.
    const qint64 staleBefore = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   (now - kTempLeftoverAge).time_since_epoch())
                                   .count();
    for (const QString& n : mine.names) {
        const qsizetype at = n.indexOf(QStringLiteral(".tmp-"));
        if (!n.startsWith(u'.') || at <= 0 || !startDate(QStringView(n).mid(1, at - 1), safeName))
            continue;
        const QString path = directory + u'/' + n;
        const auto st = PosixFile::stamp(path);
        if (st && st->mtimeNs < staleBefore) PosixFile::remove(path);
    }
}

LogStats LogStore::parseStats(const QString& output) {
    struct Row {
        const char* pattern;
        const char* label;
    };
    static const Row rows[] = {
        {"Number of files:\\s*(.+)", "Files"},
        {"Number of files transferred:\\s*(\\d+)", "Files transferred"},
        {"Total file size:\\s*(.+)", "Total file size"},
        {"Total transferred file size:\\s*(.+)", "Transferred size"},
        {"Total bytes sent:\\s*(.+)", "Bytes sent"},
        {"Total bytes received:\\s*(.+)", "Bytes received"},
    };
    LogStats stats;
    for (const Row& row : rows) {
        // (*ANY): like the platform's engine, "." stops at every kind of line end.
        const QRegularExpression re(QStringLiteral("(*ANY)") + QString::fromLatin1(row.pattern),
                                    QRegularExpression::UseUnicodePropertiesOption);
        const QRegularExpressionMatch m = re.match(output);
        if (!m.hasMatch() || m.capturedStart(1) < 0) continue;
        stats.append(
            {QString::fromLatin1(row.label), Text::trimBlanks(m.capturedView(1)).toString()});
    }
    return stats;
}
