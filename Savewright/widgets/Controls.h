#pragma once
// The panel's small controls, each painting exactly its own look: header and
// footer buttons, link chips, row buttons, the group toggle and the banners.

#include "model/ViewModel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

class QHBoxLayout;
class QPushButton;

class QPainter;

namespace Look {
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// Text whose digits all take the widest digit's advance, so a running time or
// a count does not jiggle with a font of proportional digits.
int tabularWidth(const QFontMetrics& metrics, QStringView text);
void drawTabular(QPainter& p, const QRectF& box, Qt::Alignment align, QStringView text);
// Whether the pointer is over `w` now: a menu or dialog that took the pointer
// may have kept its leave event from it.
bool pointerOver(const QWidget* w);
} // namespace Look

// A button that paints itself and knows whether the pointer is over it.
class PaintedButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit PaintedButton(QWidget* parent = nullptr);
    bool hovering() const { return hovering_; }
    void setHovering(bool on);

  protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    bool hovering_ = false;
};

class HeaderButton : public PaintedButton {
    Q_OBJECT
  public:
    HeaderButton(QString symbol, QString help, QWidget* parent = nullptr);
    void setSymbol(const QString& symbol, const QString& help);
    QSize sizeHint() const override { return {26, 22}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString symbol_;
};

class LinkChip : public PaintedButton {
    Q_OBJECT
  public:
    LinkChip(QString title, QString symbol, QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void setHighlighted(bool on);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString symbol_;
    bool highlighted_ = false;
};

class FooterButton : public PaintedButton {
    Q_OBJECT
  public:
    FooterButton(QString title, QString symbol, QString help, QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString symbol_;
};

class RowButton : public QAbstractButton {
    Q_OBJECT
  public:
    RowButton(QString symbol, QString help, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString symbol_;
};

class GroupToggle : public PaintedButton {
    Q_OBJECT
  public:
    explicit GroupToggle(QWidget* parent = nullptr);
    void set(bool open, int hidden);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    bool open_ = false;
    int hidden_ = 0;
};

// Wrapping text of at most `maxLines` lines: what does not fit ends in "…",
// and then the whole text is the tooltip. Never cut through a line.
class ClampedText : public QWidget {
    Q_OBJECT
  public:
    ClampedText(const QString& text, const QFont& font, const QColor& ink, int maxLines,
                QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }
    // The lines as painted at `width`.
    QStringList lines(int width) const;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    void updateToolTip();
    QString text_;
    int maxLines_;
};

// A symbol beside wrapping text on a tinted rounded background.
class Banner : public QWidget {
    Q_OBJECT
  public:
    Banner(const QString& symbol, const QString& text, Tone tone, QWidget* parent = nullptr);
    // A button at the banner's end, in the banner's type size.
    QPushButton* addButton(const QString& text);
    void setText(const QString& text);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    Tone tone_;
    ClampedText* text_;
    QHBoxLayout* row_;
};
