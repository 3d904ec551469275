#include "Palette.h"

namespace Palette {

namespace {
const QColor kRed(0xE5, 0x3E, 0x3E);
const QColor kYellow(0xF2, 0xC1, 0x1D);
const QColor kOrange(0xF0, 0x8A, 0x1C);
const QColor kGreen(0x34, 0xB8, 0x5A);

QColor withAlpha(QColor c, double opacity) {
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}
} // namespace

QColor color(Tone tone, const QPalette& p) {
    const QColor fg = p.color(QPalette::WindowText);
    switch (tone) {
    case Tone::Primary:
        return fg;
    case Tone::Secondary:
        return withAlpha(fg, isDark(p) ? 0.62 : 0.55);
    case Tone::Tertiary:
        return withAlpha(fg, isDark(p) ? 0.42 : 0.38);
    case Tone::Accent:
        return p.color(QPalette::Highlight);
    case Tone::Red:
        return kRed;
    case Tone::Yellow:
        return kYellow;
    case Tone::Orange:
        return kOrange;
    case Tone::Green:
        return kGreen;
    }
    return fg;
}

QColor text(TaskStatus status, const QPalette& p) {
    return color(ViewModel::textTone(status), p);
}

QColor indicator(TaskStatus status, const QPalette& p) {
    return status == TaskStatus::Yellow ? kYellow : text(status, p);
}

QColor primary(const QPalette& p, double opacity) {
    return withAlpha(p.color(QPalette::WindowText), opacity);
}

bool isDark(const QPalette& p) {
    return p.color(QPalette::Window).lightnessF() < 0.5;
}

QPalette light() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0xF6, 0xF6, 0xF6));
    p.setColor(QPalette::WindowText, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::Button, QColor(0xEC, 0xEC, 0xEC));
    p.setColor(QPalette::ButtonText, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::Highlight, QColor(0x1F, 0x6F, 0xEB));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE8));
    p.setColor(QPalette::ToolTipText, QColor(0x1D, 0x1D, 0x1F));
    return p;
}

QPalette dark() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    p.setColor(QPalette::WindowText, QColor(0xF2, 0xF2, 0xF2));
    p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::Text, QColor(0xF2, 0xF2, 0xF2));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    p.setColor(QPalette::ButtonText, QColor(0xF2, 0xF2, 0xF2));
    p.setColor(QPalette::Highlight, QColor(0x4C, 0x9A, 0xFF));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3A, 0x3A));
    p.setColor(QPalette::ToolTipText, QColor(0xF2, 0xF2, 0xF2));
    return p;
}

} // namespace Palette
