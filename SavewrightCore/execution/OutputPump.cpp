#include "OutputPump.h"

#include "records/Schedule.h"

#include <cerrno>
#include <unistd.h>

OutputPump::OutputPump(int logFd, std::function<void(int)> onProgress)
    : logFd_(logFd), onProgress_(std::move(onProgress)) {}

void OutputPump::feed(QByteArrayView chunk) {
    if (logFd_ >= 0) {
        const char* data = chunk.data();
        qsizetype left = chunk.size();
        while (left > 0) {
            const ssize_t n = ::write(logFd_, data, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break; // a full disk loses output, never the run
            data += n;
            left -= n;
        }
    }
    // Each chunk is decoded by itself, as it arrives.
    const QString text = QString::fromUtf8(chunk);
    kept_ += text;
    if (kept_.size() > 2 * kKeptOutput) kept_.remove(0, kept_.size() - kKeptOutput);

    // Every "\r" and every "\n" ends a piece; the next of each is found once.
    const QStringView all = text;
    qsizetype pos = 0, lf = all.indexOf(u'\n'), cr = all.indexOf(u'\r');
    for (;;) {
        if (lf >= 0 && lf < pos) lf = all.indexOf(u'\n', pos);
        if (cr >= 0 && cr < pos) cr = all.indexOf(u'\r', pos);
        const qsizetype sep = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
        if (sep < 0) break;
        const QStringView piece = all.sliced(pos, sep - pos);
        if (pending_.isEmpty()) {
            line(piece);
        } else {
            pending_ += piece.first(std::min(piece.size(), kLongestLine));
            line(pending_);
            pending_.clear();
        }
        pos = sep + 1;
    }
    const QStringView rest = all.sliced(pos);
    if (pending_.size() < kLongestLine)
        pending_ += rest.first(std::min(rest.size(), kLongestLine - pending_.size()));
    // A counter redrawn without a line end is reported as soon as it arrives.
    report(pending_);
}

void OutputPump::finish() {
    stats_.addLine(pending_);
    pending_.clear();
}

void OutputPump::line(QStringView piece) {
    piece = piece.first(std::min(piece.size(), kLongestLine));
    report(piece);
    stats_.addLine(piece);
}

void OutputPump::report(QStringView piece) {
    if (!onProgress_ || !Schedule::mayHoldProgress(piece)) return;
    if (const auto p = Schedule::progress(piece)) onProgress_(*p);
}

QString OutputPump::output() const {
    return kept_.size() > kKeptOutput ? kept_.right(kKeptOutput) : kept_;
}
