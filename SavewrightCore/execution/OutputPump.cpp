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
    const auto* lf = static_cast<const char*>(std::memchr(b.data(), '\n', size_t(b.size())));
    // A "\r" only counts before the first "\n": no look past it.
    const qsizetype crSearch = lf ? lf - b.data() : b.size();
    const auto* cr = static_cast<const char*>(std::memchr(b.data(), '\r', size_t(crSearch)));
    const char* end = cr ? cr : lf;
    return end ? end - b.data() : -1;
}

qsizetype lastLineEnd(QByteArrayView b) {
    const auto* lf = static_cast<const char*>(memrchr(b.data(), '\n', size_t(b.size())));
    const qsizetype after = lf ? lf - b.data() + 1 : 0;
    const auto* cr =
        static_cast<const char*>(memrchr(b.data() + after, '\r', size_t(b.size() - after)));
    const char* end = cr ? cr : lf;
    return end ? end - b.data() : -1;
}

bool mayHoldProgress(QByteArrayView b) {
    if (std::memchr(b.data(), '%', static_cast<size_t>(b.size()))) return true;
    // "to-ch" covers both "to-check=" and "to-chk=". Found from its '-', which
    // memchr passes over far faster than memmem looks for the whole word.
    const char* const end = b.data() + b.size();
    for (const char* at = b.data();;) {
        const auto* dash = static_cast<const char*>(std::memchr(at, '-', size_t(end - at)));
        if (!dash) return false;
        if (dash - b.data() >= 2 && end - dash >= 3 && dash[-2] == 't' && dash[-1] == 'o' &&
            dash[1] == 'c' && dash[2] == 'h')
            return true;
        at = dash + 1;
    }
}

} // namespace

OutputPump::OutputPump(int logFd, std::function<void(int)> onProgress, qint64 logLimit)
    : log_(logFd, logLimit), onProgress_(std::move(onProgress)) {}

std::span<char> OutputPump::room(qsizetype least) {
    if (kept_.isEmpty() || kept_.back().bytes.size() - kept_.back().used < least) {
        Block block = std::exchange(spare_, {});
        if (block.bytes.size() < least) block.bytes.resize(std::max(least, kBlock));
        block.used = 0;
        kept_.append(std::move(block));
    }
    Block& last = kept_.back();
    return {last.bytes.data() + last.used, size_t(last.bytes.size() - last.used)};
}

void OutputPump::took(qsizetype n) {
    Block& last = kept_.back();
    const QByteArrayView chunk(last.bytes.constData() + last.used, n);
    last.used += n;
    keptBytes_ += n;
    process(chunk);
    trimKept();
}

void OutputPump::feed(QByteArrayView chunk) {
    if (chunk.isEmpty()) return;
    std::memcpy(room(chunk.size()).data(), chunk.data(), size_t(chunk.size()));
    took(chunk.size());
}

void OutputPump::trimKept() {
    // A character takes at most three bytes per UTF-16 unit.
    while (kept_.size() > 1 && keptBytes_ - kept_.front().used >= 3 * kKeptOutput) {
        keptBytes_ -= kept_.front().used;
        spare_ = kept_.takeFirst();
    }
}

void OutputPump::process(QByteArrayView chunk) {
    writeLog(chunk);
    const Hints hints{mayHoldProgress(chunk),
                      std::memchr(chunk.data(), ':', static_cast<size_t>(chunk.size())) != nullptr};
    if (hints.stats || stats_.expectsValue()) {
        splitLines(QString::fromUtf8(chunk), hints);
        return;
    }
    // Most chunks: only the line that began earlier, the unfinished last one
    // and the last whole line holding a value matter; the rest is not decoded.
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
    if (stats_.expectsValue()) {
        splitLines(QString::fromUtf8(chunk), hints);
        return;
    }
    const qsizetype last = lastLineEnd(chunk);
    addPending(QString::fromUtf8(chunk.sliced(last + 1)));
    if (!report(pending_) && hints.progress) reportLastWhole(chunk.first(last + 1));
}

void OutputPump::reportLastWhole(QByteArrayView whole) {
    // `whole` ends with a line end; pieces are looked at from the last one back.
    for (qsizetype end = whole.size() - 1; end >= 0;) {
        qsizetype sep = end - 1;
        while (sep >= 0 && whole[sep] != '\n' && whole[sep] != '\r')
            --sep;
        const QByteArrayView piece = whole.sliced(sep + 1, end - sep - 1);
        if (mayHoldProgress(piece) && report(QString::fromUtf8(piece))) return;
        end = sep;
    }
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
    // Decoded as one, so that no character is cut where one block ends.
    QByteArray raw;
    raw.reserve(keptBytes_);
    for (const Block& block : kept_)
        raw += block.bytes.first(block.used);
    const QString all = QString::fromUtf8(raw);
    return all.size() > kKeptOutput ? all.right(kKeptOutput) : all;
}
