#include "HistoryChart.h"

#include "base/Language.h"
#include "widgets/Palette.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double kMargin = 8, kAxis = 16, kBarGap = 2;

} // namespace

Tone HistoryChart::toneOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Success:
        return Tone::Green;
    case RunOutcome::Failed:
        return Tone::Red;
    case RunOutcome::Stopped:
        return Tone::Orange;
    case RunOutcome::Running:
        return Tone::Accent;
    case RunOutcome::Unreadable:
        break;
    }
    return Tone::Tertiary;
}

namespace {

QString durationLabel(double seconds) {
    if (seconds < 120) return u"%1 s"_s.arg(std::ceil(seconds));
    if (seconds < 7200) return u"%1 min"_s.arg(std::ceil(seconds / 60));
    return u"%1 h"_s.arg(std::ceil(seconds / 3600));
}

QString sizeLabel(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    return u"%1 %2"_s.arg(bytes, 0, 'f', bytes < 10 && unit ? 1 : 0)
        .arg(QString::fromLatin1(kUnits[unit]));
}

} // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(120);
}

void HistoryChart::setRuns(const QList<RunRecord>& runs, const QDateTime& now) {
    runs_ = runs.mid(0, kShownRuns);
    std::reverse(runs_.begin(), runs_.end());
    now_ = now;
    update();
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF plot(kMargin + 44, kMargin, width() - 2 * kMargin - 88,
                      height() - 2 * kMargin - kAxis);
    p.setPen(Palette::primary(pal, 0.15));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.setPen(Palette::color(Tone::Tertiary, pal));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    if (runs_.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter,
                   Language::translate("HistoryChart", "Noch keine Läufe"));
        return;
    }
    const auto seconds = [&](const RunRecord& r) {
        return r.outcome == RunOutcome::Running ? r.start.msecsTo(now_) / 1000.0
                                                : r.seconds.value_or(0);
    };
    double longest = 1, largest = 0;
    for (const RunRecord& r : runs_) {
        longest = std::max(longest, seconds(r));
        largest = std::max(largest, static_cast<double>(r.transferredBytes.value_or(0)));
    }
    // Time runs left to right; a run's bar sits where it started.
    const qint64 first = runs_.first().start.toMSecsSinceEpoch();
    const qint64 span = std::max<qint64>(1, now_.toMSecsSinceEpoch() - first);
    const double slot = plot.width() / static_cast<double>(runs_.size());
    const double barWidth = std::clamp(slot - kBarGap, 2.0, 18.0);
    const auto xOf = [&](const RunRecord& r) {
        const double share = static_cast<double>(r.start.toMSecsSinceEpoch() - first) / span;
        return plot.left() + std::clamp(share, 0.0, 1.0) * (plot.width() - barWidth);
    };
    p.setPen(Qt::NoPen);
    for (const RunRecord& r : runs_) {
        const double h = std::max(2.0, seconds(r) / longest * plot.height());
        p.setBrush(Palette::color(toneOf(r.outcome), pal));
        p.drawRoundedRect(QRectF(xOf(r), plot.bottom() - h, barWidth, h), 1.5, 1.5);
    }
    if (largest > 0) {
        QPainterPath line;
        for (const RunRecord& r : runs_) {
            if (!r.transferredBytes) continue;
            const QPointF at(xOf(r) + barWidth / 2,
                             plot.bottom() - *r.transferredBytes / largest * plot.height());
            // An empty path stays empty after moveTo: count the points instead.
            line.elementCount() == 0 ? line.moveTo(at) : line.lineTo(at);
            p.setBrush(Palette::color(Tone::Accent, pal));
            p.drawEllipse(at, 2.5, 2.5);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::color(Tone::Accent, pal), 1.5));
        p.drawPath(line);
    }
    p.setPen(Palette::color(Tone::Secondary, pal));
    p.drawText(QRectF(kMargin, plot.top() - 2, 40, 14), Qt::AlignRight, durationLabel(longest));
    p.drawText(QRectF(kMargin, plot.bottom() - 12, 40, 14), Qt::AlignRight, u"0"_s);
    if (largest > 0) {
        p.setPen(Palette::color(Tone::Accent, pal));
        p.drawText(QRectF(plot.right() + 4, plot.top() - 2, 84, 14), Qt::AlignLeft,
                   sizeLabel(largest));
    }
    p.setPen(Palette::color(Tone::Tertiary, pal));
    const QString from = runs_.first().start.toLocalTime().toString(
        Language::translate("HistoryChart", "dd.MM. HH:mm"));
    p.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), kAxis), Qt::AlignLeft, from);
    p.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), kAxis), Qt::AlignRight,
               Language::translate("HistoryChart", "jetzt"));
}
