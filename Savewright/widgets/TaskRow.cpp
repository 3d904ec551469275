#include "TaskRow.h"

#include "base/Language.h"
#include "shell/Files.h"
#include "widgets/Controls.h"
#include "widgets/HistoryWindow.h"
#include "widgets/Palette.h"
#include "widgets/Symbols.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int kPadX = 10, kPadY = 5, kLine = 18, kBar = 3, kSpacing = 1;
constexpr double kNameRoom = 110; // pixels the name keeps before a reason is shortened
} // namespace

TaskRow::TaskRow(std::shared_ptr<TaskState> task, Engine* engine, QWidget* parent)
    : QWidget(parent), task_(std::move(task)), engine_(engine),
      model_(ViewModel::row(*task_, *engine)) {
    setToolTip(model_.tooltip);
    buttons_ = new QWidget(this);
    new QHBoxLayout(buttons_);
    buttons_->layout()->setContentsMargins(0, 0, 0, 0);
    buttons_->layout()->setSpacing(8);
    buttons_->hide();
    rebuildButtons();
}

void TaskRow::refresh() {
    RowModel m = ViewModel::row(*task_, *engine_);
    if (m == model_) return;
    const bool buttonsChanged = m.running != model_.running || m.isRunning != model_.isRunning ||
                                m.tooltip != model_.tooltip;
    model_ = std::move(m);
    if (buttonsChanged) rebuildButtons();
    update();
}

QSize TaskRow::sizeHint() const {
    // The progress bar lies in the bottom padding: a run that starts reporting
    // never makes the rows below it jump.
    return {380, kPadY + kLine + kPadY};
}

void TaskRow::setHovering(bool on) {
    if (hovering_ == on) return;
    hovering_ = on;
    buttons_->setVisible(on);
    update();
}

void TaskRow::hideEvent(QHideEvent*) {
    setHovering(false);
}

void TaskRow::enterEvent(QEnterEvent*) {
    setHovering(true);
}
void TaskRow::leaveEvent(QEvent*) {
    setHovering(false);
}

void TaskRow::resizeEvent(QResizeEvent*) {
    placeButtons();
}

void TaskRow::placeButtons() {
    const QSize s = buttons_->sizeHint();
    buttons_->setGeometry(width() - kPadX - s.width(), kPadY + (kLine - s.height()) / 2, s.width(),
                          s.height());
}

void TaskRow::rebuildButtons() {
    const RowModel& m = model_;
    QLayout* layout = buttons_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        // A button may be rebuilt from within its own click.
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete item;
    }
    auto add = [&](const char* symbol, const QString& help, auto action) {
        auto* b = new RowButton(QString::fromUtf8(symbol), help, buttons_);
        connect(b, &QAbstractButton::clicked, this, action);
        layout->addWidget(b);
        // A button made while the row is under the pointer must show at once:
        // one never shown counts for nothing in the layout's size.
        b->show();
    };
    if (!m.observeOnly) {
        if (m.running)
            add("stop.fill", Language::translate("TaskRow", "Stoppen"), [this] { stop(); });
        else if (!m.isRunning)
            add("play.fill", Language::translate("TaskRow", "Starten"), [this] { start(false); });
    }
    add("doc.text", Language::translate("TaskRow", "Log öffnen"), [this] { openLog(); });
    add("chevron.left.forwardslash.chevron.right", Language::translate("TaskRow", "Skript öffnen"),
        [this] { openScript(); });
    buttons_->adjustSize();
    placeButtons();
    setToolTip(m.tooltip);
}

void TaskRow::paintEvent(QPaintEvent*) {
    const RowModel& m = model_;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hovering_) {
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::primary(palette(), 0.07));
        p.drawRoundedRect(rect(), 6, 6);
    }
    const QRectF line(kPadX, kPadY, width() - 2 * kPadX, kLine);
    const QRectF indicator(line.left(), line.top(), 10, kLine);
    if (m.status == TaskStatus::Running) {
        Symbols::draw(p, QStringLiteral("arrow.triangle.2.circlepath"), indicator, 10,
                      Palette::color(Tone::Accent, palette()));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::indicator(m.status, palette()));
        p.drawEllipse(QRectF(indicator.center().x() - 4, indicator.center().y() - 4, 8, 8));
    }
    const double nameLeft = indicator.right() + 10;
    double right = line.right();
    if (!hovering_) {
        p.setFont(Look::font(12));
        QString meta = m.meta;
        int w = Look::tabularWidth(p.fontMetrics(), meta);
        // The name keeps room to be read; a long reason gives way to its short form.
        if (!m.metaShort.isEmpty() && right - w - 10 - nameLeft < kNameRoom) {
            meta = m.metaShort;
            w = Look::tabularWidth(p.fontMetrics(), meta);
        }
        p.setPen(Palette::color(m.metaTone, palette()));
        Look::drawTabular(p, QRectF(right - w, line.top(), w, kLine), Qt::AlignRight, meta);
        right -= w + 10;
    } else {
        right -= buttons_->width() + 10;
    }
    if (m.dryRun) {
        // A dry run changes nothing: said beside the name, so it never passes for a backup.
        p.setFont(Look::font(11));
        const QString dryRun = Language::translate("TaskRow", "Dry-Run");
        const int w = p.fontMetrics().horizontalAdvance(dryRun);
        if (right - w - 8 > nameLeft + 40) {
            p.setPen(Palette::color(Tone::Secondary, palette()));
            p.drawText(QRectF(right - w, line.top(), w, kLine), Qt::AlignRight | Qt::AlignVCenter,
                       dryRun);
            right -= w + 8;
        }
    }
    p.setFont(Look::font(13));
    p.setPen(palette().color(QPalette::WindowText));
    const QString name =
        p.fontMetrics().elidedText(m.name, Qt::ElideRight, static_cast<int>(right - nameLeft));
    p.drawText(QRectF(nameLeft, line.top(), right - nameLeft, kLine),
               Qt::AlignLeft | Qt::AlignVCenter, name);
    if (m.progressBar) {
        const QRectF track(kPadX + 20, line.bottom() + kSpacing, width() - 2 * kPadX - 20, kBar);
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::primary(palette(), 0.1));
        p.drawRoundedRect(track, kBar / 2.0, kBar / 2.0);
        const double share = std::clamp(*m.progressBar, 0, 100) / 100.0;
        p.setBrush(Palette::color(Tone::Accent, palette()));
        p.drawRoundedRect(QRectF(track.topLeft(), QSizeF(track.width() * share, kBar)), kBar / 2.0,
                          kBar / 2.0);
    }
}

void TaskRow::contextMenuEvent(QContextMenuEvent* e) {
    const RowModel& m = model_;
    // Owned by the row and never waited for: a row that goes away (its group
    // closed, a reload) takes its open menu along instead of being destroyed
    // under a nested event loop.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!m.observeOnly) {
        if (m.running) {
            menu->addAction(Language::translate("TaskRow", "Stoppen"), this, [this] { stop(); });
        } else {
            menu->addAction(Language::translate("TaskRow", "Starten"), this,
                            [this] { start(false); });
            menu->addAction(Language::translate("TaskRow", "Dry-Run"), this,
                            [this] { start(true); });
        }
        addPauseActions(menu);
        menu->addSeparator();
    }
    menu->addAction(Language::translate("TaskRow", "Verlauf…"), this, [this] { openHistory(); });
    menu->addAction(Language::translate("TaskRow", "Log öffnen"), this, [this] { openLog(); });
    menu->addAction(Language::translate("TaskRow", "Skript öffnen"), this,
                    [this] { openScript(); });
    // The menu may have taken the pointer's leave event along.
    connect(menu, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] { setHovering(Look::pointerOver(this)); });
    });
    menu->popup(e->globalPos());
}

// This task's own pause of its automatic starts, beside the pause of all.
void TaskRow::addPauseActions(QMenu* menu) {
    const QString name = task_->config.value().name;
    if (task_->config.value().type == TaskType::External) return;
    menu->addSeparator();
    if (engine_->taskPausedUntil(name)) {
        menu->addAction(Language::translate("TaskRow", "Fortsetzen"), this,
                        [this, name] { engine_->resumeTask(name); });
        return;
    }
    menu->addAction(Language::translate("TaskRow", "Pausieren für 1 Stunde"), this, [this, name] {
        engine_->pauseTask(name, engine_->currentTime().addSecs(3600));
    });
    menu->addAction(Language::translate("TaskRow", "Pausieren bis morgen"), this, [this, name] {
        engine_->pauseTask(name, Engine::tomorrowMorning(engine_->currentTime()));
    });
    menu->addAction(Language::translate("TaskRow", "Pausieren bis ich fortsetze"), this,
                    [this, name] { engine_->pauseTask(name, std::nullopt); });
}

void TaskRow::start(bool dryRun) {
    engine_->runNow(task_, dryRun);
}
void TaskRow::stop() {
    engine_->cancel(task_);
}
void TaskRow::openHistory() {
    HistoryWindow::open(engine_, task_);
}

// A click on the row itself, not on one of its buttons, shows what its task did.
void TaskRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) openHistory();
    QWidget::mouseReleaseEvent(e);
}

void TaskRow::openLog() {
    Files::openLatestLog(*task_, engine_->paths);
}
void TaskRow::openScript() {
    Files::openInTextEdit(engine_->paths.scripts() + u'/' + task_->config.value().script);
}
