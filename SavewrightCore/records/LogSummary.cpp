// Reading a task's past back from its log files.
#include "LogStore.h"

#include "base/Text.h"
#include "platform/PosixFile.h"

#include <QStringDecoder>

namespace {

constexpr qint64 kHeaderBytes = 500;
constexpr qint64 kFailureWindow = 256 * 1024;

std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

bool meaningful(QStringView piece) {
    if (piece.startsWith(u"--- ")) return false;
    for (char32_t c : piece.toUcs4())
        if (QChar::isLetterOrNumber(c) || QChar::isMark(c)) return true;
    return false;
}

} // namespace

std::optional<QString> LogStore::header(const QString& file) {
    const PosixFile::ReadResult r = PosixFile::readRange(file, 0, kHeaderBytes);
    if (!r.ok()) return std::nullopt;
    return headerIn(r.data);
}

std::optional<QString> LogStore::headerIn(QByteArrayView first) {
    first = first.first(std::min<qsizetype>(first.size(), kHeaderBytes));
    if (first.isEmpty()) return std::nullopt;
    // Only the header lines: a script that prints "Status: SUCCESS" early must
    // not turn its own failed run green.
    const qsizetype output = first.indexOf("\n--- Output ---\n");
    return QString::fromUtf8(output < 0 ? first : first.first(output + 1));
}

QString text(LogStatus status) {
    switch (status) {
    case LogStatus::Success:
        return QStringLiteral("SUCCESS");
    case LogStatus::Failed:
        return QStringLiteral("FAILED");
    case LogStatus::Running:
        return QStringLiteral("RUNNING");
    case LogStatus::Aborted:
        break;
    }
    return QStringLiteral("ABORTED");
}

std::optional<LogStatus> LogStore::status(const QString& header) {
    for (const LogStatus s : {LogStatus::Success, LogStatus::Failed, LogStatus::Running})
        if (header.contains(QStringLiteral("Status: ") + text(s))) return s;
    return std::nullopt;
}

std::optional<double> LogStore::runSeconds(const QString& file) {
    const std::optional<QString> head = header(file);
    const PosixFile::ReadResult tail = PosixFile::readRange(file, -kTailBytes, kTailBytes);
    if (!head || !tail.ok()) return std::nullopt;
    return runSecondsIn(*head, QString::fromUtf8(tail.data));
}

std::optional<double> LogStore::runSecondsIn(QStringView head, QStringView tail) {
    const auto stampAfter = [](QStringView text, QStringView mark) -> std::optional<QStringView> {
        const qsizetype at = text.lastIndexOf(mark);
        if (at < 0 || at + mark.size() + 26 > text.size()) return std::nullopt;
        return text.sliced(at + mark.size(), 26);
    };
    const auto started = stampAfter(head, u"\nStarted: ");
    const auto finished = stampAfter(tail, u"\n--- Finished: ");
    if (!started || !finished) return std::nullopt;
    const auto from = LogTime::parseInFileStamp(*started);
    const auto to = LogTime::parseInFileStamp(*finished);
    if (!from || !to || *to < *from) return std::nullopt;
    return std::chrono::duration<double>(*to - *from).count();
}

bool LogStore::wasAborted(const QString& file) {
    const PosixFile::ReadResult r = PosixFile::readRange(file, -kTailBytes, kTailBytes);
    return r.ok() && abortedIn(QString::fromUtf8(r.data));
}

bool LogStore::abortedIn(QStringView tail) {
    return tail.contains(abortMarker()) || tail.contains(u"--- Cancelled by user ---") ||
           tail.contains(u"--- Abgebrochen beim Neustart");
}

std::optional<QString> LogStore::failureLine(const QString& file) {
    PosixFile::ReadResult r = PosixFile::readRange(file, -(kFailureWindow + 1), kFailureWindow + 1);
    if (!r.ok()) return std::nullopt;
    const bool windowed = r.data.size() > kFailureWindow;
    return failureLineIn(std::move(r.data), windowed);
}

std::optional<QString> LogStore::failureLineIn(QByteArray bytes, bool windowed) {
    if (windowed) {
        // The trailer is cut off before the window's first, partial line is
        // dropped: that line may be the one ending right before the trailer.
        const qsizetype finished = bytes.indexOf("\n--- Finished:");
        if (finished >= 0 || bytes.startsWith("--- Finished:"))
            bytes.truncate(std::max<qsizetype>(finished, 0));
        // Start at a whole line of the window; the header lies before it.
        const qsizetype lf = bytes.indexOf('\n'), cr = bytes.indexOf('\r');
        const qsizetype cut = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
        bytes = cut < 0 ? QByteArray() : bytes.mid(cut + 1);
    }
    const std::optional<QString> decoded = strictUtf8(bytes);
    if (!decoded) return std::nullopt;
    QStringView text = *decoded;
    if (!windowed) {
        const qsizetype output = text.indexOf(u"--- Output ---");
        if (output >= 0) text = text.mid(output + 14);
    }
    const qsizetype finished = text.indexOf(u"\n--- Finished:");
    if (finished >= 0) text = text.left(finished);
    // The last kept piece wins, so walk the pieces from the end.
    qsizetype end = text.size();
    while (end >= 0) {
        qsizetype start = end - 1;
        while (start >= 0 && text[start] != u'\n' && text[start] != u'\r')
            --start;
        const QStringView piece = Text::trimBlanks(text.mid(start + 1, end - start - 1));
        if (meaningful(piece)) return piece.toString();
        end = start;
    }
    return std::nullopt;
}

LogStore::Summary LogStore::summary(const QString& safeName, const LogListing* listing) const {
    KeptSummary kept;
    const PosixFile::UniqueFd folder = PosixFile::openFolder(directory);
    update(kept, safeName, candidates(safeName, listing), folder.get(), 0);
    return kept.summary;
}

bool LogStore::update(KeptSummary& kept, const QString& safeName, const QStringList& byName,
                      int folderFd, qint64 settledBeforeNs) const {
    if (byName.isEmpty()) {
        const bool changed = !kept.byName.isEmpty();
        kept = {};
        return changed;
    }
    const auto trusted = [&](const std::optional<PosixFile::Stamp>& now,
                             const std::optional<PosixFile::Stamp>& then) {
        return now == then && (!now || now->mtimeNs < settledBeforeNs);
    };
    // The order rests on the names only: a run is recorded before its log appears.
    const bool sameOrder = byName == kept.byName;
    const QList<DatedRun> runs = sameOrder ? kept.runs : reorder(kept, safeName, byName, folderFd);
    const std::optional<PosixFile::Stamp> newestNow = PosixFile::stampAt(folderFd, runs[0].name);
    if (sameOrder && newestNow && trusted(newestNow, kept.newest)) return false;
    // The file that was newest is known only while it did not change.
    const bool oldNewestKnown =
        !kept.runs.isEmpty() && kept.newest &&
        trusted(kept.runs[0].name == runs[0].name ? newestNow
                                                  : PosixFile::stampAt(folderFd, kept.runs[0].name),
                kept.newest);

    // Each file's status is its own: what the last read saw still holds.
    QHash<QString, qsizetype> readAt;
    for (qsizetype i = 0; i < kept.read; ++i)
        readAt.insert(kept.runs[i].name, i);
    const auto knownSuccess = [&](const QString& name) -> std::optional<bool> {
        const qsizetype k = readAt.value(name, -1);
        if (k < 0 || (k == 0 && !oldNewestKnown)) return std::nullopt;
        return k == kept.read - 1 && kept.summary.lastSuccess.has_value();
    };
    const auto path = [&](const QString& name) { return directory + u'/' + name; };
    const auto date = [](const DatedRun& r) {
        return QDateTime::fromMSecsSinceEpoch(r.startMs, Qt::UTC);
    };

    Summary s;
    s.latestFile = path(runs[0].name);
    s.latestStart = date(runs[0]);
    const bool newestKnown = oldNewestKnown && kept.runs[0].name == runs[0].name;
    std::optional<QString> newestHeader;
    if (newestKnown) {
        s.latestStatus = kept.summary.latestStatus;
        s.failureLine = kept.summary.failureLine;
    } else {
        newestHeader = header(s.latestFile.value());
        if (newestHeader) s.latestStatus = status(*newestHeader);
        if (s.latestStatus == LogStatus::Failed) {
            if (wasAborted(*s.latestFile))
                s.latestStatus = LogStatus::Aborted;
            else
                s.failureLine = failureLine(*s.latestFile);
        }
    }
    qsizetype read = 0;
    while (read < runs.size()) {
        const DatedRun& run = runs[read++];
        std::optional<bool> success = knownSuccess(run.name);
        if (!success) {
            const std::optional<QString> h =
                read == 1 && !newestKnown ? newestHeader : header(path(run.name));
            success = h && status(*h) == LogStatus::Success;
        }
        if (*success) {
            s.lastSuccess = date(run);
            break;
        }
    }
    // Stamped after reading: a change in between is recent, so not trusted next time.
    const auto newestAfter = PosixFile::stampAt(folderFd, runs[0].name);
    kept = {byName, runs, read, newestAfter, s};
    return true;
}

QList<DatedRun> LogStore::reorder(const KeptSummary& kept, const QString& safeName,
                                  const QStringList& byName, int folderFd) const {
    QHash<QString, qint64> known;
    for (const DatedRun& r : kept.runs)
        known.insert(r.name, r.startMs);
    return RunOrder::order(directory, folderFd, safeName, byName,
                           RunOrder::recorded(directory, safeName), known);
}
