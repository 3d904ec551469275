#include "PanelView.h"

#include "base/Language.h"
#include "config/ConfigTemplate.h"
#include "platform/PosixFile.h"

#include "shell/Files.h"
#include "widgets/Controls.h"
#include "widgets/Palette.h"
#include "widgets/Symbols.h"
#include "widgets/TaskRow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

// A fixed-size picture of one symbol.
class SymbolView : public QWidget {
  public:
    SymbolView(QString symbol, int size, Tone tone, QWidget* parent)
        : QWidget(parent), symbol_(std::move(symbol)), size_(size), tone_(tone) {
        setFixedSize(size + 4, size + 4);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        Symbols::draw(p, symbol_, rect(), size_, Palette::color(tone_, palette()));
    }

  private:
    QString symbol_;
    int size_;
    Tone tone_;
};

class Divider : public QWidget {
  public:
    explicit Divider(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), Palette::primary(palette(), 0.12));
    }
};

// " · "-joined parts that a line may break after a dot only.
QString wrapsBetweenParts(const QString& line) {
    QStringList parts = line.split(QStringLiteral(" · "));
    for (QString& part : parts)
        part.replace(u' ', QChar::Nbsp);
    return parts.join(QStringLiteral("\u00a0· "));
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        // A control may be rebuilt from within its own click.
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        if (QLayout* inner = item->layout()) clear(inner);
        delete item;
    }
}

} // namespace

PanelView::PanelView(Engine* engine, bool expandAll, QWidget* parent)
    : QWidget(parent), engine_(engine), expandAll_(expandAll),
      watch_(engine, this, [this](bool clockOnly) { apply(clockOnly); }) {
    setFixedWidth(380);
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    banners_ = new QVBoxLayout;
    banners_->setSpacing(0);
    column->addLayout(banners_);
    column->addWidget(buildLinks());
    // The task list scrolls only when the panel would be taller than the screen.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(scroll_);
    groups_ = new QVBoxLayout(list);
    groups_->setContentsMargins(0, 0, 0, 0);
    groups_->setSpacing(0);
    scroll_->setWidget(list);
    list->setAutoFillBackground(false); // setWidget turned it on: the panel's own shows
    column->addWidget(scroll_);
    column->addSpacing(6);
    column->addWidget(new Divider(this));
    column->addWidget(buildFooter());

    apply();
}

QWidget* PanelView::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(8, 4, 8, 8);
    row->setSpacing(10);
    row->addWidget(
        new SymbolView(QStringLiteral("externaldrive.badge.checkmark"), 20, Tone::Accent, header));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    title_ = label(QString(), Look::font(13, QFont::DemiBold),
                   palette().color(QPalette::WindowText), header);
    count_ = label(QString(), Look::font(11), Palette::color(Tone::Secondary, palette()), header);
    // Many tasks make a long count line: it wraps between its parts, never within one.
    count_->setWordWrap(true);
    texts->addWidget(title_);
    texts->addWidget(count_);
    row->addLayout(texts, 1);
    headerButtons_ = new QWidget(header);
    auto* buttons = new QHBoxLayout(headerButtons_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(6);
    pause_ = new HeaderButton(QStringLiteral("pause"), Language::translate("PanelView", "Pause"),
                              headerButtons_);
    connect(pause_, &QAbstractButton::clicked, this,
            [this] { engine_->setPaused(!engine_->paused); });
    auto* all = new HeaderButton(QStringLiteral("play"),
                                 Language::translate("PanelView", "Alle starten"), headerButtons_);
    connect(all, &QAbstractButton::clicked, this, [this] { engine_->runAll(); });
    buttons->addWidget(pause_);
    buttons->addWidget(all);
    row->addWidget(headerButtons_);
    return header;
}

QWidget* PanelView::buildLinks() {
    auto* links = new QWidget(this);
    auto* column = new QVBoxLayout(links);
    column->setContentsMargins(6, 2, 6, 0);
    column->setSpacing(4);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    dashboard_ = new LinkChip(Language::translate("PanelView", "Dashboard"),
                              QStringLiteral("chart.bar.doc.horizontal"), links);
    connect(dashboard_, &QAbstractButton::clicked, this, &PanelView::generateDashboard);
    report_ = new LinkChip(Language::translate("PanelView", "Löschbericht"),
                           QStringLiteral("trash"), links);
    connect(report_, &QAbstractButton::clicked, this, &PanelView::openReport);
    row->addWidget(dashboard_);
    row->addWidget(report_);
    row->addStretch(1);
    column->addLayout(row);
    dashboardErrorLabel_ =
        new ClampedText(QString(), Look::font(11), Palette::color(Tone::Red, palette()), 2, links);
    column->addWidget(dashboardErrorLabel_);
    return links;
}

QWidget* PanelView::buildFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(2, 6, 2, 0);
    auto add = [&](const QString& title, const char* symbol, const QString& help, auto action) {
        auto* b = new FooterButton(title, QString::fromUtf8(symbol), help, footer);
        connect(b, &QAbstractButton::clicked, this, action);
        if (row->count() > 0) row->addStretch(1);
        row->addWidget(b);
    };
    add(Language::translate("PanelView", "Logs"), "folder", {},
        [this] { Files::openPath(engine_->paths.logs()); });
    add(Language::translate("PanelView", "Einstellungen"), "gearshape", {},
        [this] { Files::openInTextEdit(engine_->paths.configFile()); });
    add(Language::translate("PanelView", "Neu laden"), "arrow.clockwise", {},
        [this] { engine_->reloadConfig(); });
    add({}, "info.circle", Language::translate("PanelView", "Über Savewright"),
        [] { Files::showAbout(); });
    add(Language::translate("PanelView", "Beenden"), "power", {}, [this] { quitAsking(); });
    return footer;
}

void PanelView::quitAsking() {
    int runs = 0;
    for (const auto& t : engine_->tasks.value())
        runs += t->running.value() ? 1 : 0;
    if (runs == 0) return QApplication::quit();
    // Asked once, never waited for: the answer comes as a click.
    auto* box = new QMessageBox(
        QMessageBox::Question, Language::translate("PanelView", "Savewright beenden"),
        runs == 1 ? Language::translate("PanelView", "1 Lauf läuft. Abbrechen und beenden?")
                  : Language::translate("PanelView", "%n Läufe laufen. Abbrechen und beenden?",
                                        nullptr, runs),
        QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->addButton(Language::translate("PanelView", "Abbrechen und beenden"),
                   QMessageBox::AcceptRole);
    box->setDefaultButton(
        box->addButton(Language::translate("PanelView", "Weiterlaufen"), QMessageBox::RejectRole));
    box->setObjectName(QStringLiteral("quitQuestion"));
    connect(box, &QMessageBox::accepted, qApp, [] { QApplication::quit(); });
    box->open();
}

void PanelView::showWhole() {
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fitHeight(std::numeric_limits<int>::max());
}

void PanelView::showOpenFailure(const QString& what) {
    openFailure = what;
    templateWritten = std::nullopt;
    apply();
}

void PanelView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    watch_.setClockMatters(true);
    apply();
    syncHover();
}

void PanelView::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    openFailure = std::nullopt; // said once, to whoever had the panel open
}

void PanelView::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    // Back from a dialog or a menu: what the pointer left meanwhile is not hovered.
    if (e->type() == QEvent::ActivationChange) syncHover();
}

void PanelView::syncHover() {
    for (PaintedButton* b : findChildren<PaintedButton*>())
        b->setHovering(Look::pointerOver(b));
    for (TaskRow* r : findChildren<TaskRow*>())
        r->setHovering(Look::pointerOver(r));
}

void PanelView::apply(bool clockOnly) {
    // A hidden panel (the tray's popup while closed) catches up when it opens.
    if (shownOnce_ && !isVisible()) {
        watch_.setClockMatters(false);
        return;
    }
    if (watch_.passOver(clockOnly && shownOnce_)) return;
    const PanelModel m = ViewModel::panel(*engine_, expandAll_, expanded);
    // Rows follow the clock (relative and running times); the rest only when it changed.
    for (TaskRow* row : std::as_const(rows_))
        row->refresh();
    if (templateWritten && !engine_->tasks.value().isEmpty()) templateWritten.reset();
    const ViewState view{dashboardBusy, dashboardError, openFailure, templateWritten};
    if (shownOnce_ && m == shown_ && view == shownView_) return;
    title_->setText(m.title);
    count_->setText(wrapsBetweenParts(m.countLine));
    headerButtons_->setVisible(m.headerButtons);
    pause_->setSymbol(m.paused ? QStringLiteral("playpause") : QStringLiteral("pause"),
                      m.paused ? Language::translate("PanelView", "Fortsetzen")
                               : Language::translate("PanelView", "Pause"));
    dashboard_->setTitle(dashboardBusy ? Language::translate("PanelView", "Dashboard …")
                                       : Language::translate("PanelView", "Dashboard"));
    report_->setVisible(m.reportChip);
    report_->setHighlighted(m.reportUnseen);
    dashboardErrorLabel_->setText(dashboardError.value_or(QString()));
    dashboardErrorLabel_->setVisible(dashboardError.has_value());
    if (!shownOnce_ || m.update != shown_.update || m.banners != shown_.banners ||
        m.offerTemplate != shown_.offerTemplate || view.openFailure != shownView_.openFailure ||
        view.templateWritten != shownView_.templateWritten)
        rebuildBanners(m);
    if (!shownOnce_ || m.groups != shown_.groups) rebuildGroups(m);
    shown_ = m;
    shownView_ = view;
    shownOnce_ = true;
    fitHeight();
}

void PanelView::fitHeight(int maxHeight) {
    // The content's height at the panel's own width: adjustSize would measure
    // wrapping text at the content's preferred width and cap at the screen.
    if (maxHeight < 0) maxHeight = screen() ? screen()->availableGeometry().height() : 1080;
    QWidget* list = scroll_->widget();
    list->layout()->activate();
    const int listHeight = list->layout()->totalSizeHint().height();
    list->setMinimumHeight(listHeight); // scrolled, never squeezed
    scroll_->setFixedHeight(listHeight);
    layout()->activate();
    const auto natural = [this] {
        const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                    : layout()->totalSizeHint().height();
        return std::max(h, layout()->totalMinimumSize().height());
    };
    int height = natural();
    if (height > maxHeight) {
        // Rows keep their height; the list gives up what the screen lacks.
        scroll_->setFixedHeight(std::max(0, listHeight - (height - maxHeight)));
        layout()->activate();
        height = natural();
    }
    resize(width(), height);
    emit heightFitted();
}

void PanelView::rebuildBanners(const PanelModel& m) {
    clear(banners_);
    auto wrap = [&](QWidget* banner) {
        auto* outer = new QVBoxLayout;
        outer->setContentsMargins(2, 0, 2, 4);
        outer->addWidget(banner);
        banners_->addLayout(outer);
        banner->show(); // counted in the height fitted now
    };
    if (m.update) {
        const UpdateInfo update = *m.update;
        auto* b =
            new Banner(QStringLiteral("arrow.down.circle"),
                       Language::translate("PanelView", "Version %1 verfügbar (installiert: %2)")
                           .arg(update.version, UpdateChecker::currentVersion()),
                       Tone::Accent, this);
        connect(b->addButton(Language::translate("PanelView", "Laden")), &QPushButton::clicked,
                this, [url = update.url] {
                    const QUrl target(url, QUrl::StrictMode);
                    if (target.isValid()) Files::open(target);
                });
        wrap(b);
    }
    for (const QString& text : m.banners)
        wrap(new Banner(QStringLiteral("exclamationmark.triangle"), text, Tone::Red, this));
    if (openFailure) {
        auto* b = new Banner(
            QStringLiteral("exclamationmark.triangle"),
            Language::translate("PanelView", "Kein Programm öffnet „%1“").arg(*openFailure),
            Tone::Red, this);
        connect(b->addButton(Language::translate("PanelView", "Pfad kopieren")),
                &QPushButton::clicked, this,
                [path = *openFailure] { QGuiApplication::clipboard()->setText(path); });
        wrap(b);
    }
    if (templateWritten && m.groups.isEmpty()) {
        wrap(new Banner(
            QStringLiteral("doc.text"),
            Language::translate("PanelView",
                                "Vorlage angelegt: %1. Einen Task eintragen (die Beispiele "
                                "zeigen wie) und speichern – Savewright liest die Datei "
                                "dann von selbst.")
                .arg(*templateWritten),
            Tone::Accent, this));
    }
    if (m.offerTemplate) {
        auto* b = new Banner(
            QStringLiteral("doc.text"),
            Language::translate("PanelView", "Noch keine config.toml: eine Vorlage mit Beispielen "
                                             "anlegen?"),
            Tone::Accent, this);
        connect(b->addButton(Language::translate("PanelView", "Vorlage anlegen")),
                &QPushButton::clicked, this, [this] { createConfigTemplate(); });
        wrap(b);
    }
}

void PanelView::createConfigTemplate() {
    const QString path = engine_->paths.configFile();
    const int error = ConfigTemplate::create(path);
    // A file that appeared meanwhile is opened as it is, never replaced.
    if (error && error != EEXIST) {
        const QString prefix =
            Language::translate("PanelView", "config.toml: Vorlage nicht angelegt: ");
        engine_->replaceProblem(prefix, prefix + PosixFile::reason(error));
        return;
    }
    templateWritten = path;
    engine_->reloadConfig();
    Files::openInTextEdit(path);
}

void PanelView::rebuildGroups(const PanelModel& m) {
    for (TaskRow* r : std::as_const(rows_))
        groups_->removeWidget(r);
    clear(groups_);
    QHash<QString, TaskRow*> kept;
    QHash<QString, std::shared_ptr<TaskState>> byId;
    for (const auto& t : engine_->tasks.value())
        byId.insert(t->id, t);
    // Made in the list and shown at once: a widget that would only show on the
    // next turn of the loop counts for nothing in the height fitted now.
    QWidget* list = scroll_->widget();
    const auto add = [this](QWidget* w) {
        groups_->addWidget(w);
        w->show();
    };
    for (const GroupModel& g : m.groups) {
        auto* heading =
            label(g.name, Look::font(11), Palette::color(Tone::Tertiary, palette()), list);
        heading->setContentsMargins(10, 10, 10, 3);
        add(heading);
        for (const QString& id : g.visibleIds) {
            TaskRow* row = rows_.take(id);
            if (!row && byId.contains(id)) row = new TaskRow(byId.value(id), engine_, list);
            if (!row) continue;
            kept.insert(id, row);
            add(row);
        }
        if (g.toggle) {
            auto* toggle = new GroupToggle(list);
            toggle->set(g.open, g.hidden);
            connect(toggle, &QAbstractButton::clicked, this,
                    [this, name = g.name] { toggleGroup(name); });
            add(toggle);
        }
    }
    for (TaskRow* gone : std::as_const(rows_))
        gone->deleteLater();
    rows_ = kept;
}

void PanelView::toggleGroup(const QString& name) {
    if (expanded.contains(name))
        expanded.remove(name);
    else
        expanded.insert(name);
    QTimer::singleShot(0, this, [this] { apply(); }); // the clicked toggle goes away
}

void PanelView::generateDashboard() {
    dashboardBusy = true;
    dashboardError = std::nullopt;
    apply();
    QPointer<PanelView> self(this);
    engine_->generateDashboard([self](std::optional<QString> page, std::optional<QString> error) {
        if (!self) return;
        self->dashboardBusy = false;
        self->dashboardError = error;
        self->apply();
        if (page) Files::openPath(*page);
    });
}

void PanelView::openReport() {
    engine_->markDeletionReportSeen();
    if (const auto report = engine_->latestDeletionReport.value()) Files::openPath(*report);
}
