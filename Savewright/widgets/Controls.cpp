#include "Controls.h"

#include "base/Language.h"
#include "widgets/Palette.h"
#include "widgets/Symbols.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextLayout>

namespace Look {
QFont font(int pixelSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

namespace {
int digitAdvance(const QFontMetrics& metrics) {
    int widest = 0;
    for (char d = '0'; d <= '9'; ++d)
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(d)));
    return widest;
}
bool asciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
// Calls `piece` for each run of digits and each run of other characters, in order.
template <typename F> void forEachRun(QStringView text, F&& piece) {
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        const bool digits = asciiDigit(text[i]);
        while (end < text.size() && asciiDigit(text[end]) == digits)
            ++end;
        piece(text.sliced(i, end - i), digits);
        i = end;
    }
}
} // namespace

int tabularWidth(const QFontMetrics& metrics, QStringView text) {
    const int digit = digitAdvance(metrics);
    int width = 0;
    forEachRun(text, [&](QStringView run, bool digits) {
        width += digits ? digit * static_cast<int>(run.size())
                        : metrics.horizontalAdvance(run.toString());
    });
    return width;
}

void drawTabular(QPainter& p, const QRectF& box, Qt::Alignment align, QStringView text) {
    const QFontMetrics metrics = p.fontMetrics();
    const int digit = digitAdvance(metrics);
    double x = align & Qt::AlignRight ? box.right() - tabularWidth(metrics, text) : box.left();
    forEachRun(text, [&](QStringView run, bool digits) {
        if (digits) {
            for (QChar d : run) {
                p.drawText(QRectF(x, box.top(), digit, box.height()),
                           Qt::AlignHCenter | Qt::AlignVCenter, QString(d));
                x += digit;
            }
            return;
        }
        const QString piece = run.toString();
        const int w = metrics.horizontalAdvance(piece);
        p.drawText(QRectF(x, box.top(), w + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   piece);
        x += w;
    });
}

bool pointerOver(const QWidget* w) {
    return w->isVisible() && w->rect().contains(w->mapFromGlobal(QCursor::pos()));
}
} // namespace Look

namespace {

void roundedFill(QPainter& p, const QRectF& r, const QColor& c, double radius = 6) {
    if (c.alpha() == 0) return;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(r, radius, radius);
}

QColor hoverFill(const QWidget* w, bool hovering, double on, double off) {
    return Palette::primary(w->palette(), hovering ? on : off);
}

} // namespace

PaintedButton::PaintedButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void PaintedButton::setHovering(bool on) {
    if (hovering_ == on) return;
    hovering_ = on;
    update();
}

void PaintedButton::enterEvent(QEnterEvent* e) {
    setHovering(true);
    QAbstractButton::enterEvent(e);
}

void PaintedButton::leaveEvent(QEvent* e) {
    setHovering(false);
    QAbstractButton::leaveEvent(e);
}

void PaintedButton::hideEvent(QHideEvent* e) {
    setHovering(false);
    QAbstractButton::hideEvent(e);
}

HeaderButton::HeaderButton(QString symbol, QString help, QWidget* parent)
    : PaintedButton(parent), symbol_(std::move(symbol)) {
    setToolTip(help);
    setFixedSize(26, 22);
}

void HeaderButton::setSymbol(const QString& symbol, const QString& help) {
    symbol_ = symbol;
    setToolTip(help);
    update();
}

void HeaderButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    roundedFill(p, r, hovering() ? Palette::primary(palette(), 0.07) : QColor(Qt::transparent));
    p.setPen(QPen(Palette::primary(palette(), 0.18), 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, 6, 6);
    Symbols::draw(p, symbol_, rect(), 12, palette().color(QPalette::WindowText));
}

// The title is the button's text, so that screen readers name it.
LinkChip::LinkChip(QString title, QString symbol, QWidget* parent)
    : PaintedButton(parent), symbol_(std::move(symbol)) {
    setText(title);
}

void LinkChip::setTitle(const QString& title) {
    setText(title);
}

void LinkChip::setHighlighted(bool on) {
    highlighted_ = on;
    updateGeometry();
    update();
}

QSize LinkChip::sizeHint() const {
    const int width = QFontMetrics(Look::font(12)).horizontalAdvance(text());
    return {8 + 11 + 5 + width + (highlighted_ ? 5 + 6 : 0) + 8, 4 + 16 + 4};
}

void LinkChip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    roundedFill(p, rect(), hoverFill(this, hovering(), 0.1, 0.05));
    const QColor ink = highlighted_ ? Palette::color(Tone::Accent, palette())
                                    : Palette::color(Tone::Secondary, palette());
    double x = 8;
    Symbols::draw(p, symbol_, QRectF(x, 0, 11, height()), 11, ink);
    x += 11 + 5;
    p.setFont(Look::font(12));
    p.setPen(ink);
    const int width = p.fontMetrics().horizontalAdvance(text());
    p.drawText(QRectF(x, 0, width + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (highlighted_) {
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::color(Tone::Accent, palette()));
        p.drawEllipse(QRectF(x + width + 5, (height() - 6) / 2.0, 6, 6));
    }
}

FooterButton::FooterButton(QString title, QString symbol, QString help, QWidget* parent)
    : PaintedButton(parent), symbol_(std::move(symbol)) {
    setText(title);
    if (!help.isEmpty()) setToolTip(help);
    setFixedSize(sizeHint());
}

QSize FooterButton::sizeHint() const {
    const int width =
        text().isEmpty() ? 0 : 4 + QFontMetrics(Look::font(11)).horizontalAdvance(text());
    return {5 + 12 + width + 5, 4 + 15 + 4};
}

void FooterButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    roundedFill(p, rect(),
                hovering() ? Palette::primary(palette(), 0.07) : QColor(Qt::transparent));
    const QColor ink = Palette::color(Tone::Secondary, palette());
    Symbols::draw(p, symbol_, QRectF(5, 0, 12, height()), 11, ink);
    if (text().isEmpty()) return;
    p.setFont(Look::font(11));
    p.setPen(ink);
    p.drawText(QRectF(5 + 12 + 4, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

RowButton::RowButton(QString symbol, QString help, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)) {
    setToolTip(help);
    setFixedSize(16, 16);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void RowButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Symbols::draw(p, symbol_, rect(), 11, Palette::color(Tone::Secondary, palette()));
}

GroupToggle::GroupToggle(QWidget* parent) : PaintedButton(parent) {}

void GroupToggle::set(bool open, int hidden) {
    open_ = open;
    hidden_ = hidden;
    update();
}

QSize GroupToggle::sizeHint() const {
    return {200, 5 + QFontMetrics(Look::font(13)).height() + 5};
}

void GroupToggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = Palette::color(Tone::Secondary, palette());
    Symbols::draw(p, open_ ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"),
                  QRectF(10, 0, 10, height()), 9, ink);
    p.setFont(Look::font(13));
    p.setPen(ink);
    const QString label = open_ ? Language::translate("Controls", "Weniger")
                                : Language::translate("Controls", "%n weitere", nullptr, hidden_);
    p.drawText(QRectF(10 + 10 + 10, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft, label);
}

Banner::Banner(const QString& symbol, const QString& text, Tone tone, QWidget* parent)
    : QWidget(parent), tone_(tone) {
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(10, 6, 10, 6);
    row_->setSpacing(6);
    auto* icon = new QLabel(this);
    const QColor ink = Palette::color(tone, palette());
    QPixmap pixmap(QSize(14, 14) * devicePixelRatioF());
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        Symbols::draw(p, symbol, QRectF(0, 0, 14, 14), 12, ink);
    }
    icon->setPixmap(pixmap);
    icon->setAlignment(Qt::AlignTop);
    row_->addWidget(icon, 0, Qt::AlignTop);
    text_ = new ClampedText(text, Look::font(12), ink, 2, this);
    row_->addWidget(text_, 1);
}

QPushButton* Banner::addButton(const QString& text) {
    auto* button = new QPushButton(text, this);
    button->setFont(Look::font(11));
    row_->addWidget(button, 0, Qt::AlignVCenter);
    return button;
}

void Banner::setText(const QString& text) {
    text_->setText(text);
}

void Banner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = Palette::color(tone_, palette());
    fill.setAlphaF(0.12f);
    roundedFill(p, rect(), fill);
}

ClampedText::ClampedText(const QString& text, const QFont& font, const QColor& ink, int maxLines,
                         QWidget* parent)
    : QWidget(parent), text_(text), maxLines_(maxLines) {
    setFont(font);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ink);
    setPalette(p);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ClampedText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    updateGeometry();
    updateToolTip();
    update();
}

QStringList ClampedText::lines(int width) const {
    QString flowing = text_;
    flowing.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(flowing, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList out;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1, width));
        if (out.size() + 1 == maxLines_) {
            // The last line shown takes the rest, shortened to fit.
            QString rest = flowing.mid(line.textStart());
            rest.replace(QChar::LineSeparator, u' ');
            out.append(fontMetrics().elidedText(rest.trimmed(), Qt::ElideRight, width));
            break;
        }
        out.append(flowing.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return out;
}

int ClampedText::heightForWidth(int width) const {
    const int count = std::max<qsizetype>(1, lines(width).size());
    return count * fontMetrics().lineSpacing();
}

QSize ClampedText::sizeHint() const {
    const int width = std::min(fontMetrics().horizontalAdvance(text_) + 1, 600);
    return {width, heightForWidth(width)};
}

QSize ClampedText::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().lineSpacing()};
}

void ClampedText::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    updateToolTip();
}

void ClampedText::updateToolTip() {
    const QStringList shown = lines(width());
    const bool whole = shown.join(u' ').simplified() == QString(text_).simplified();
    setToolTip(whole ? QString() : text_);
}

void ClampedText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    const int step = fontMetrics().lineSpacing();
    int y = fontMetrics().ascent();
    for (const QString& line : lines(width())) {
        p.drawText(0, y, line);
        y += step;
    }
}
