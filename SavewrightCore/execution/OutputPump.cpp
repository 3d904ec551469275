#include "OutputPump.h"

#include "platform/PosixFile.h"
#include "records/Schedule.h"

#include <QVarLengthArray>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Line ends and the hints are ASCII, which UTF-8 never uses inside a multi-byte
// character: they are found in the raw bytes, and decoding the parts between
// them gives the same text as decoding the whole chunk.
qsizetype firstLineEnd(QByteArrayView b) {
    const void* lf = std::memchr(b.data(), '\n', static_cast<size_t>(b.size()));
    const void* cr = std::memchr(b.data(), '\r', static_cast<size_t>(b.size()));
    const char* end = !lf   ? static_cast<const char*>(cr)
                      : !cr ? static_cast<const char*>(lf)
                            : std::min(static_cast<const char*>(lf), static_cast<const char*>(cr));
    return end ? end - b.data() : -1;
}

qsizetype lastLineEnd(QByteArrayView b) {
    const void* lf = memrchr(b.data(), '\n', static_cast<size_t>(b.size()));
    const void* cr = memrchr(b.data(), '\r', static_cast<size_t>(b.size()));
    const char* end = std::max(static_cast<const char*>(lf), static_cast<const char*>(cr));
    return end ? end - b.data() : -1;
}

bool mayHoldProgress(QByteArrayView b) {
    return std::memchr(b.data(), '%', static_cast<size_t>(b.size())) ||
           memmem(b.data(), static_cast<size_t>(b.size()), "to-check=", 9) ||
           memmem(b.data(), static_cast<size_t>(b.size()), "to-chk=", 7);
}

} // namespace

OutputPump::OutputPump(int logFd, std::function<void(int)> onProgress, qint64 logLimit)
    : log_(logFd, logLimit), onProgress_(std::move(onProgress)) {}

void OutputPump::feed(QByteArrayView chunk) {
    writeLog(chunk);
    keep(chunk);
    const Hints hints{mayHoldProgress(chunk),
                      std::memchr(chunk.data(), ':', static_cast<size_t>(chunk.size())) != nullptr};
    if (!hints.progress && !hints.stats && !stats_.expectsValue()) {
        // Most chunks: only the line that began earlier and the unfinished last one matter.
        const qsizetype first = firstLineEnd(chunk);
        if (first < 0) {
            addPending(QString::fromUtf8(chunk));
            report(pending_);
            return;
        }
        addPending(QString::fromUtf8(chunk.first(first)));
        line(pending_, Hints{});
        pending_.clear();
        chunk = chunk.sliced(first + 1);
        if (!stats_.expectsValue()) {
            addPending(QString::fromUtf8(chunk.sliced(lastLineEnd(chunk) + 1)));
            report(pending_);
            return;
        }
    }
    splitLines(QString::fromUtf8(chunk), hints);
}

void OutputPump::splitLines(const QString& text, Hints hints) {
    // Every "\r" and every "\n" ends a piece; the next of each is found once.
    const QStringView all = text;
    QVarLengthArray<QStringView, 64> mayReport; // whole lines, oldest first
    qsizetype pos = 0, lf = all.indexOf(u'\n'), cr = all.indexOf(u'\r');
    for (;;) {
        if (lf >= 0 && lf < pos) lf = all.indexOf(u'\n', pos);
        if (cr >= 0 && cr < pos) cr = all.indexOf(u'\r', pos);
        const qsizetype sep = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
        if (sep < 0) break;
        const QStringView piece = all.sliced(pos, sep - pos);
        if (pending_.isEmpty()) {
            if (hints.progress && seen_ == 0) mayReport.append(piece);
            line(piece, Hints{false, hints.stats});
        } else {
            addPending(piece);
            line(pending_, Hints{});
            pending_.clear();
        }
        pos = sep + 1;
    }
    addPending(all.sliced(pos));
    // A counter redrawn without a line end is the latest of all.
    if (report(pending_)) return;
    for (auto piece = mayReport.crbegin(); piece != mayReport.crend(); ++piece)
        if (report(*piece)) return;
}

void OutputPump::finish() {
    log_.finish();
    stats_.addPiece(pending_, seen_, pending_.size());
    pending_.clear();
    seen_ = 0;
}

void OutputPump::writeLog(QByteArrayView chunk) {
    log_.write(chunk);
}

void OutputPump::keep(QByteArrayView chunk) {
    kept_.append(chunk.toByteArray());
    keptBytes_ += chunk.size();
    // A character takes at most three bytes per UTF-16 unit.
    while (keptBytes_ - kept_.front().size() >= 3 * kKeptOutput)
        keptBytes_ -= kept_.takeFirst().size();
}

void OutputPump::addPending(QStringView text) {
    while (!text.isEmpty()) {
        if (pending_.size() == kLongestLine) slideWindow();
        const qsizetype n = std::min(text.size(), kLongestLine - pending_.size());
        pending_ += text.first(n);
        text = text.sliced(n);
    }
}

void OutputPump::slideWindow() {
    // Matches starting in the last kOverlap characters may run on past the
    // window: they are looked at again as the start of the next one.
    const qsizetype limit = pending_.size() - kOverlap;
    if (onProgress_) reportForms(Schedule::progressForms(pending_, limit), true);
    stats_.addPiece(pending_, seen_, limit);
    pending_.remove(0, limit);
    seen_ = pending_.size();
}

void OutputPump::line(QStringView piece, Hints hints) {
    if (hints.progress || seen_ > 0) report(piece);
    if (hints.stats || stats_.expectsValue() || seen_ > 0)
        stats_.addPiece(piece, seen_, piece.size());
    seen_ = 0;
    settled_ = {};
}

bool OutputPump::report(QStringView piece) {
    return onProgress_ && reportForms(Schedule::progressForms(piece, piece.size()), false);
}

// The counter wins over a percentage anywhere in the line, else the line's first
// percentage counts; `final` forms are settled for the rest of the line.
bool OutputPump::reportForms(const Schedule::ProgressForms& forms, bool final) {
    if (settled_.counter) return false;
    std::optional<int> value = forms.counter;
    if (!value && !settled_.percent) value = forms.percent;
    if (!value) return false;
    if (final) (forms.counter ? settled_.counter : settled_.percent) = value;
    if (value != lastReported_) onProgress_(*value);
    lastReported_ = value;
    return true;
}

QString OutputPump::output() const {
    QString all;
    for (const QByteArray& chunk : kept_)
        all += QString::fromUtf8(chunk);
    return all.size() > kKeptOutput ? all.right(kKeptOutput) : all;
}
