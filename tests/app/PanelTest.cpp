#include "config/ConfigTemplate.h"
#include "shell/Files.h"
#include "support/EngineFixture.h"
#include "support/EngineTestDoor.h"
#include "widgets/Controls.h"
#include "widgets/PanelView.h"
#include "widgets/PanelWindow.h"
#include "widgets/Snapshot.h"
#include "widgets/StatusIcon.h"
#include "widgets/Symbols.h"
#include "widgets/TaskRow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

class Panel : public EngineFixture {
  protected:
    void SetUp() override {
        QByteArray toml;
        for (int i = 1; i <= 6; ++i)
            toml += "[[task]]\nname = 'Task " + QByteArray::number(i) +
                    "'\ntype = 'external'\nscript = 's.sh'\n"
                    "group = 'Fotos'\ndescription = 'Beschreibung'\n";
        toml += "[[task]]\nname = 'Single'\ntype = 'scheduled'\nscript = 'single.sh'\n";
        writeConfig(toml);
        for (int i = 1; i <= 6; ++i)
            writeLog(QByteArray("Task_" + QByteArray::number(i)).constData(),
                     clockNow.addSecs(-600), "SUCCESS");
        Files::setOpener([this](const QUrl& url) { opened.append(url); });
    }
    void TearDown() override {
        Files::setOpener([](const QUrl&) {});
    }
    QImage snapshot(Engine& e, bool dark, bool expand) {
        const QString path = repo.root() + QStringLiteral("/snap.png");
        QFile::remove(path);
        Snapshot::render(e, path, dark, expand);
        return QImage(path);
    }
    QList<QUrl> opened;
};

bool edgesAre(const QImage& image, QColor wanted) {
    const QRgb color = wanted.rgb();
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, 0) != color || image.pixel(x, image.height() - 1) != color) return false;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(0, y) != color || image.pixel(image.width() - 1, y) != color) return false;
    return true;
}

} // namespace

TEST_F(Panel, SnapshotsDecodedBack) {
    auto e = makeEngine();
    const QImage collapsed = snapshot(*e, true, false);
    ASSERT_FALSE(collapsed.isNull());
    EXPECT_EQ(collapsed.width(), 760);
    EXPECT_TRUE(edgesAre(collapsed, QColor::fromRgbF(0.17f, 0.17f, 0.17f)));
    const QImage expanded = snapshot(*e, false, true);
    EXPECT_EQ(expanded.width(), 760);
    EXPECT_TRUE(edgesAre(expanded, Qt::white));
    EXPECT_GT(expanded.height(), collapsed.height());
    // A destination in a missing folder: no file, no message, no crash.
    Snapshot::render(*e, repo.root() + QStringLiteral("/missing/x.png"), false, false);
    EXPECT_FALSE(QFileInfo::exists(repo.root() + QStringLiteral("/missing/x.png")));
}

// Every channel of every pixel differs from its neighbours', so a swapped
// channel, a row out of place or a piece of the stream lost shows; the heights
// cut the rows into pieces and halves of every kind, one row alone included.
TEST(Png, PicturesComeBackPixelForPixel) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.png"));
    for (const QSize size : {QSize(1, 1), QSize(37, 2), QSize(3, 33), QSize(761, 101)}) {
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                picture.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 5 + 3) & 255, (x ^ y) & 255));
        ASSERT_TRUE(Snapshot::writePng(picture, path)) << size.width() << "x" << size.height();
        const QImage back(path);
        ASSERT_EQ(back.size(), size);
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), picture)
            << size.width() << "x" << size.height();
    }
    EXPECT_FALSE(Snapshot::writePng(QImage(QSize(4, 4), QImage::Format_RGB32),
                                    dir.filePath(QStringLiteral("missing/p.png"))));
}

TEST_F(Panel, CollapsedGroupTogglesAndHeaderButtons) {
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.show(); // a hidden panel does not follow the engine
    const GroupModel fotos = panel.model().groups.value(0);
    EXPECT_EQ(fotos.visibleIds.size(), 3);
    EXPECT_EQ(fotos.hidden, 3);
    EXPECT_EQ(panel.model().groups.value(1).name, u"Sonstiges");
    const QList<HeaderButton*> header = panel.findChildren<HeaderButton*>();
    ASSERT_EQ(header.size(), 2);
    EXPECT_FALSE(header[0]->isHidden());
    EXPECT_EQ(header[0]->toolTip(), u"Pause");
    header[0]->click();
    QCoreApplication::processEvents(); // views redraw on the next turn of the loop
    EXPECT_TRUE(e->paused);
    EXPECT_EQ(header[0]->toolTip(), u"Fortsetzen");
    EXPECT_TRUE(panel.model().countLine.endsWith(u" · pausiert"));

    QList<GroupToggle*> toggles = panel.findChildren<GroupToggle*>();
    ASSERT_EQ(toggles.size(), 1);
    toggles[0]->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.model().groups.value(0).visibleIds.size(), 6);
    EXPECT_TRUE(panel.row(QStringLiteral("Task 6")) != nullptr);
    QCoreApplication::processEvents();
    toggles = panel.findChildren<GroupToggle*>();
    ASSERT_EQ(toggles.size(), 1);
    toggles[0]->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.model().groups.value(0).visibleIds.size(), 3);

    auto observer = makeEngine(true);
    PanelView watching(observer.get(), false);
    EXPECT_EQ(watching.model().title, u"Savewright · Beobachter");
    EXPECT_FALSE(watching.findChildren<HeaderButton*>().value(0)->isVisibleTo(&watching));
    EXPECT_FALSE(watching.model().headerButtons);
}

TEST_F(Panel, RowsFollowTheirTaskAndAct) {
    repo.script(QStringLiteral("single.sh"), "touch \"$PWD/../started\"\nsleep 30\n");
    auto e = makeEngine();
    PanelView panel(e.get(), true);
    panel.show();
    TaskRow* row = panel.row(QStringLiteral("Single"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->model().meta, u"nie");
    const auto single = task(*e, "Single");
    single->progress = 42; // ignored while not running
    single->running = true;
    QCoreApplication::processEvents(); // views follow on the next turn of the loop
    EXPECT_EQ(row->model().meta, u"läuft · 42 %");
    single->running = false;
    single->progress = std::nullopt;
    QCoreApplication::processEvents();
    row->setHovering(true);
    QList<RowButton*> buttons = row->findChildren<RowButton*>();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_EQ(buttons[0]->toolTip(), u"Starten");
    buttons[1]->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toLocalFile(), repo.paths().logs()) << "no log yet: the folder";
    buttons[2]->click();
    EXPECT_EQ(opened[1].toLocalFile(), repo.paths().scripts() + QStringLiteral("/single.sh"));
    buttons[0]->click();
    EXPECT_TRUE(single->running);
    QCoreApplication::processEvents();
    buttons = row->findChildren<RowButton*>();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_EQ(buttons[0]->toolTip(), u"Stoppen");
    // Made under the pointer, the new buttons show at once, with their size.
    for (RowButton* b : buttons) {
        EXPECT_TRUE(b->isVisible());
        EXPECT_GT(b->width(), 0);
    }
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(repo.root() + QStringLiteral("/started")); }));
    buttons[0]->click();
    // Past the stop's grace (a kill at 5 s), should a loaded machine need it.
    ASSERT_TRUE(waitUntil([&] { return !single->running; }, 15000));
    EXPECT_EQ(single->summary.value().latestStatus, LogStatus::Aborted);
}

TEST_F(Panel, BannersReportAndDashboard) {
    auto e = makeEngine(
        false,
        {QStringLiteral("Die Python-Hülle (run.py) läuft noch – Savewright startet keine Tasks.")});
    repo.write(QStringLiteral("repo/logs/Löschbericht.html"), "<html>");
    e->refreshLogs();
    EngineTestDoor::deletionReportUnseen(*e) = true;
    PanelView panel(e.get(), false);
    EXPECT_EQ(panel.model().banners.size(), 1);
    EXPECT_TRUE(panel.model().reportChip && panel.model().reportUnseen);
    panel.openReport();
    EXPECT_FALSE(e->deletionReportUnseen);
    EXPECT_EQ(opened.value(0).toLocalFile(),
              repo.paths().logs() + QStringLiteral("/Löschbericht.html"));

    panel.generateDashboard();
    EXPECT_TRUE(panel.dashboardBusy);
    ASSERT_TRUE(waitUntil([&] { return !panel.dashboardBusy; }));
    EXPECT_TRUE(panel.dashboardError.value_or(QString()).startsWith(u"Python nicht gefunden: "));
}

TEST(StatusIconImage, DotAndSymbolDrawn) {
    QImage image(QSize(40, 36), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        StatusIcon::paint(p, image.rect(), QStringLiteral("externaldrive"), Tone::Red);
    }
    const QColor dot = image.pixelColor(33, 29);
    EXPECT_GT(dot.red(), 200);
    EXPECT_LT(dot.green(), 100);
    int inked = 0;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 24; ++x)
            inked += image.pixelColor(x, y).alpha() > 0;
    EXPECT_GT(inked, 50) << "the symbol is drawn";
    QImage unknown(QSize(40, 36), QImage::Format_ARGB32_Premultiplied);
    unknown.fill(Qt::transparent);
    {
        QPainter p(&unknown);
        StatusIcon::paint(p, unknown.rect(), QStringLiteral("no.such.symbol"), Tone::Yellow);
    }
    int drawn = 0;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 22; ++x)
            drawn += unknown.pixelColor(x, y).alpha() > 0;
    EXPECT_EQ(drawn, 0) << "an unknown symbol draws nothing";
    EXPECT_GT(unknown.pixelColor(33, 29).alpha(), 200) << "but the dot";
}

TEST_F(Panel, WithoutConfigTheBannerWritesATemplateAndOpensIt) {
    QFile::remove(repo.paths().configFile());
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    ASSERT_TRUE(panel.model().offerTemplate);
    // No file yet is no error: the offer alone, no red banner above it.
    EXPECT_TRUE(panel.model().banners.isEmpty()) << panel.model().banners.join(u'\n').toStdString();
    EXPECT_FALSE(e->problems.value().isEmpty()) << "the engine still knows";
    QAbstractButton* create = nullptr;
    for (auto* b : panel.findChildren<QAbstractButton*>())
        if (b->text() == u"Vorlage anlegen") create = b;
    ASSERT_TRUE(create);
    create->click();
    EXPECT_EQ(TempRepo::read(repo.paths().configFile()), ConfigTemplate::text());
    EXPECT_EQ(opened.value(0).toLocalFile(), repo.paths().configFile());
    EXPECT_TRUE(e->problems.value().isEmpty()) << e->problems.value().join(u'\n').toStdString();
    EXPECT_TRUE(e->tasks.value().isEmpty());
    EXPECT_FALSE(ViewModel::panel(*e, false, {}).offerTemplate);
    QCoreApplication::processEvents();
    // What to do next, until the file holds a task.
    const auto texts = [&] {
        QStringList out;
        for (auto* c : panel.findChildren<ClampedText*>())
            if (c->isVisibleTo(&panel)) out.append(c->text());
        return out.join(u'\n');
    };
    EXPECT_TRUE(texts().contains(QStringLiteral("Vorlage angelegt: ") + repo.paths().configFile()))
        << texts().toStdString();
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    e->reloadConfig();
    QCoreApplication::processEvents();
    EXPECT_FALSE(texts().contains(u"Vorlage angelegt")) << texts().toStdString();

    // Never over a file that is there: it is opened as it stands.
    repo.write(QStringLiteral("support/config.toml"), "# meine\n");
    EXPECT_EQ(ConfigTemplate::create(repo.paths().configFile()), EEXIST);
    EXPECT_EQ(TempRepo::read(repo.paths().configFile()), "# meine\n");
}

TEST(ConfigTemplateText, ValidAsItStandsAndWhenItsExamplesAreUncommented) {
    const AppConfig plain = AppConfig::parse(QString::fromUtf8(ConfigTemplate::text()));
    EXPECT_TRUE(plain.tasks.isEmpty());
    EXPECT_TRUE(plain.warnings.isEmpty());
    QString uncommented;
    for (const QString& line : QString::fromUtf8(ConfigTemplate::text()).split(u'\n'))
        uncommented += (line.startsWith(u"# [[") || line.startsWith(u"# name") ||
                                line.contains(QRegularExpression(QStringLiteral("^# [a-z_]+ = ")))
                            ? line.mid(2)
                            : line) +
                       u'\n';
    const AppConfig examples = AppConfig::parse(uncommented);
    // One example of every kind.
    QSet<int> kinds;
    for (const TaskConfig& t : examples.tasks)
        kinds.insert(static_cast<int>(t.type));
    EXPECT_EQ(examples.tasks.size(), 4);
    EXPECT_EQ(kinds.size(), 4u);
    EXPECT_TRUE(examples.warnings.isEmpty()) << examples.warnings.join(u'\n').toStdString();
    EXPECT_EQ(examples.repo, QDir::homePath() + QStringLiteral("/Savewright"));
}

TEST(ClampedTextLines, AtMostTwoWholeLinesTheRestInTheTooltip) {
    const QString longText = QStringLiteral("rsync error: some files/attrs were not transferred "
                                            "(see previous errors) (code 23) at main.c(1338) "
                                            "[sender=3.2.7] und noch viel mehr Text danach");
    ClampedText label(longText, Look::font(12), Qt::red, 2);
    label.setAttribute(Qt::WA_DontShowOnScreen);
    label.resize(200, label.heightForWidth(200));
    label.show();
    const QStringList shown = label.lines(200);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[1].endsWith(QChar(0x2026))) << shown[1].toStdString();
    for (const QString& line : shown)
        EXPECT_LE(label.fontMetrics().horizontalAdvance(line), 200) << line.toStdString();
    EXPECT_EQ(label.heightForWidth(200), 2 * label.fontMetrics().lineSpacing());
    EXPECT_EQ(label.toolTip(), longText);

    ClampedText shortLabel(QStringLiteral("kurz"), Look::font(12), Qt::red, 2);
    shortLabel.setAttribute(Qt::WA_DontShowOnScreen);
    shortLabel.resize(200, shortLabel.heightForWidth(200));
    shortLabel.show();
    EXPECT_EQ(shortLabel.lines(200), QStringList{QStringLiteral("kurz")});
    EXPECT_EQ(shortLabel.heightForWidth(200), shortLabel.fontMetrics().lineSpacing());
    EXPECT_TRUE(shortLabel.toolTip().isEmpty());
}

TEST_F(Panel, HeightIsTheContentsAtThePanelsWidth) {
    auto e = makeEngine(
        false, {QString(400, u'x').replace(u'x', QStringLiteral("Wort ")), QStringLiteral("kurz")});
    PanelView panel(e.get(), false);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    panel.fitHeight();
    EXPECT_EQ(panel.height(), panel.layout()->totalHeightForWidth(panel.width()));
    // Every banner shows its lines whole: no clipped line at its top or bottom.
    for (auto* text : panel.findChildren<ClampedText*>()) {
        if (!text->isVisible() || text->text().isEmpty()) continue;
        EXPECT_EQ(text->height() % text->fontMetrics().lineSpacing(), 0)
            << text->text().left(20).toStdString();
        EXPECT_GE(text->height(), text->heightForWidth(text->width()));
    }
}

TEST_F(Panel, ARowRemovedWhileItsMenuIsOpenTakesTheMenuAlong) {
    auto e = makeEngine();
    PanelView panel(e.get(), true);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    QCoreApplication::processEvents();
    TaskRow* row = nullptr;
    for (auto* r : panel.findChildren<TaskRow*>())
        if (r->isVisible() && r->model().id == u"Task 1") row = r;
    ASSERT_TRUE(row);
    QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(4, 4), row->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(row, &open); // returns at once: no nested loop
    QPointer<QMenu> menu = row->findChild<QMenu*>();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    // The task goes away with its row while the menu is open.
    writeConfig("[[task]]\nname = 'Single'\ntype = 'scheduled'\nscript = 'single.sh'\n");
    e->reloadConfig();
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !menu;
    }));
    EXPECT_EQ(panel.findChildren<TaskRow*>().size(), 1);
}

// A task paused from its row's menu says so in the row, and its menu offers to resume.
TEST_F(Panel, ARowsMenuPausesAndResumesItsTask) {
    auto e = makeEngine();
    PanelView panel(e.get(), true);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.resize(360, 600);
    panel.show();
    QCoreApplication::processEvents();
    TaskRow* row = nullptr;
    for (auto* r : panel.findChildren<TaskRow*>())
        if (r->model().id == u"Single") row = r;
    ASSERT_TRUE(row);
    const auto openMenu = [&]() -> QMenu* {
        QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(4, 4),
                               row->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(row, &open);
        const auto menus = row->findChildren<QMenu*>();
        return menus.isEmpty() ? nullptr : menus.last();
    };
    const auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) out.append(a->text());
        return out;
    };
    QMenu* menu = openMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(menu), (QStringList{u"Starten"_s, u"Dry-Run"_s, u"Pausieren für 1 Stunde"_s,
                                        u"Pausieren bis morgen"_s, u"Pausieren bis ich fortsetze"_s,
                                        u"Verlauf…"_s, u"Log öffnen"_s, u"Skript öffnen"_s}));
    menu->actions()[3]->trigger(); // for an hour
    menu->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(row->model().meta, u"zurückgestellt: pausiert bis "_s +
                                     RelativeTime::clock(clockNow.addSecs(3600), clockNow));
    menu = openMenu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(texts(menu).contains(u"Fortsetzen"_s));
    EXPECT_FALSE(texts(menu).contains(u"Pausieren bis morgen"_s));
    for (QAction* a : menu->actions())
        if (a->text() == u"Fortsetzen") a->trigger();
    menu->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(row->model().meta.startsWith(u"zurückgestellt"));
    EXPECT_FALSE(e->taskPausedUntil(u"Single"_s));
}

namespace {

double luminance(QColor c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(QColor a, QColor b) {
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

} // namespace

TEST(StatusIconImage, ReadableOnDarkAndLightPanels) {
    Symbols::setUpTheme();
    for (const QColor panel : {QColor(0x2F, 0x2F, 0x2F), QColor(0x12, 0x12, 0x12),
                               QColor(0xF2, 0xF2, 0xF2), QColor(0xFF, 0xFF, 0xFF)}) {
        QImage image(QSize(22, 22), QImage::Format_ARGB32_Premultiplied);
        image.fill(panel);
        {
            QPainter p(&image);
            StatusIcon::paint(p, image.rect(), QStringLiteral("externaldrive"), Tone::Red);
        }
        // The symbol's strongest edge against the panel (WCAG 1.4.11 asks 3:1), and
        // enough of it that the shape reads.
        double best = 1;
        int strong = 0;
        for (int y = 0; y < 22; ++y)
            for (int x = 0; x < 15; ++x) {
                const double c = contrast(image.pixelColor(x, y), panel);
                best = std::max(best, c);
                strong += c >= 3.0;
            }
        EXPECT_GE(best, 7.0) << panel.name().toStdString();
        EXPECT_GT(strong, 25) << panel.name().toStdString();
        // The ring keeps the dot apart from the symbol: between them lies no
        // pixel as light as the symbol.
        EXPECT_LT(luminance(image.pixelColor(13, 13)), 0.5) << panel.name().toStdString();
    }
}

TEST_F(Panel, TallerThanTheScreenTheListScrollsAndRowsKeepTheirHeight) {
    QByteArray toml;
    for (int i = 1; i <= 40; ++i)
        toml += "[[task]]\nname = 'T" + QByteArray::number(i) +
                "'\ntype = 'external'\nscript = 's.sh'\n";
    writeConfig(toml);
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    const auto rowsWhole = [&] {
        for (const auto& t : e->tasks.value())
            if (TaskRow* r = panel.row(t->id); r && r->height() != r->sizeHint().height())
                return false;
        return true;
    };
    panel.fitHeight(std::numeric_limits<int>::max());
    const int natural = panel.height();
    EXPECT_GT(natural, 40 * panel.row(QStringLiteral("T1"))->sizeHint().height());
    EXPECT_TRUE(rowsWhole());
    panel.fitHeight(600);
    EXPECT_EQ(panel.height(), 600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(rowsWhole()) << "rows never squeezed";
    auto* scroll = panel.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), natural - 600);
    panel.fitHeight(natural);
    EXPECT_EQ(panel.height(), natural);
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0) << "fits: nothing scrolls";
}

TEST_F(Panel, HoverFollowsThePointerAfterMenusAndDialogs) {
    auto e = makeEngine();
    PanelView panel(e.get(), true);
    panel.move(2000, 2000); // the pointer is elsewhere
    panel.show();
    TaskRow* row = panel.row(QStringLiteral("Single"));
    auto* button = panel.findChild<HeaderButton*>();
    ASSERT_TRUE(row && button);
    // Hovered when a menu or dialog took the pointer: no leave event came.
    row->setHovering(true);
    button->setHovering(true);
    QEvent back(QEvent::ActivationChange);
    QApplication::sendEvent(&panel, &back);
    EXPECT_FALSE(row->hovering());
    EXPECT_FALSE(button->hovering());
    row->setHovering(true);
    panel.hide();
    EXPECT_FALSE(row->hovering()) << "a closed panel opens without a stale highlight";
}

TEST_F(Panel, ARowThatStaysAfterAReloadStaysShown) {
    writeConfig("[[task]]\nname = 'Fotos'\ntype = 'external'\nscript = 'f.sh'\n"
                "[[task]]\nname = 'Musik'\ntype = 'external'\nscript = 'm.sh'\n");
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.show();
    QCoreApplication::processEvents();
    const int before = panel.height();
    writeConfig("[[task]]\nname = 'Fotos'\ntype = 'external'\nscript = 'f.sh'\n");
    e->reloadConfig();
    QCoreApplication::processEvents();
    TaskRow* row = panel.row(QStringLiteral("Fotos"));
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->isVisible());
    EXPECT_EQ(row->height(), row->sizeHint().height());
    EXPECT_EQ(panel.height(), before - row->sizeHint().height());
}

TEST_F(Panel, ATallSnapshotShowsEveryRowWholeWithoutAScrollBar) {
    QByteArray toml;
    for (int i = 1; i <= 48; ++i)
        toml += "[[task]]\nname = 'Aufgabe " + QByteArray::number(i) +
                "'\ntype = 'external'\nscript = 's.sh'\ngroup = 'G" + QByteArray::number(i % 4) +
                "'\n";
    writeConfig(toml);
    for (int i = 1; i <= 48; ++i)
        writeLog(QByteArray("Aufgabe_" + QByteArray::number(i)).constData(),
                 clockNow.addSecs(-16 * 60), "SUCCESS");
    auto e = makeEngine();
    for (const bool expand : {false, true}) {
        PanelView panel(e.get(), expand);
        panel.setAttribute(Qt::WA_DontShowOnScreen);
        panel.show(); // at the screen's height first, as a snapshot does
        panel.showWhole();
        QCoreApplication::processEvents();
        auto* scroll = panel.findChild<QScrollArea*>();
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
        EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);
        int rows = 0;
        for (const auto& t : e->tasks.value()) {
            TaskRow* r = panel.row(t->id);
            if (!r) continue;
            ++rows;
            // As wide as the list: the status text at its right edge is drawn whole.
            EXPECT_EQ(r->width(), scroll->width()) << t->id.toStdString();
            EXPECT_EQ(r->height(), r->sizeHint().height());
        }
        EXPECT_EQ(rows, expand ? 48 : 4 * 3);
    }
}

TEST_F(Panel, TheCountLineWrapsBetweenItsPartsAndStaysWhole) {
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    QLabel* count = nullptr;
    for (auto* l : panel.findChildren<QLabel*>())
        if (l->text().contains(u"ok")) count = l;
    ASSERT_NE(count, nullptr);
    EXPECT_TRUE(count->wordWrap());
    // Every part is one unbreakable piece; lines break only after a dot.
    const QString shown = count->text();
    EXPECT_EQ(QString(shown).replace(QChar::Nbsp, u' '), panel.model().countLine);
    for (const QString& part : shown.split(QStringLiteral(" ")))
        EXPECT_TRUE(part.endsWith(u'·') || part == shown.split(u' ').last()) << part.toStdString();
    const int oneLine = count->fontMetrics().height();
    count->setText(QStringLiteral("12\u00a0ok\u00a0· 11\u00a0Warnung\u00a0· 15\u00a0überfällig"
                                  "\u00a0· 9\u00a0Fehler\u00a0· 3\u00a0läuft\u00a0· 2\u00a0wartet"
                                  "\u00a0· pausiert"));
    panel.fitHeight();
    EXPECT_GE(count->height(), 2 * oneLine) << "a second line instead of a cut";
    EXPECT_LE(count->geometry().right(), panel.width());
}

TEST(PanelPlacement, BesideTheIconNeverOverIt) {
    const QRect area(0, 0, 1280, 800);
    struct Case {
        QRect icon;
        QSize panel;
    };
    // A tray at the top, at the bottom reserving no space, and on a side.
    for (const Case& c : {Case{QRect(1200, 0, 24, 24), QSize(380, 500)},
                          Case{QRect(1200, 776, 24, 24), QSize(380, 500)},
                          Case{QRect(1200, 776, 24, 24), QSize(380, 2000)},
                          Case{QRect(0, 390, 24, 24), QSize(380, 2000)},
                          Case{QRect(1200, 0, 24, 24), QSize(380, 2000)}}) {
        const PanelWindow::Placement p = PanelWindow::placement(c.icon, area, c.panel);
        const QRect at(p.at, QSize(c.panel.width(), p.height));
        EXPECT_FALSE(at.intersects(c.icon)) << at.y() << "+" << at.height();
        EXPECT_TRUE(area.contains(at)) << at.x() << "," << at.y() << " " << at.height();
        EXPECT_GT(p.height, 300);
        EXPECT_LE(p.height, c.panel.height());
    }
    // Room below: the whole panel, right under the icon.
    const auto below = PanelWindow::placement(QRect(1200, 0, 24, 24), area, QSize(380, 500));
    EXPECT_EQ(below.height, 500);
    EXPECT_EQ(below.at.y(), 28) << "the icon's last row is 23, then a gap of 4";
}

TEST_F(Panel, WhatNoProgramOpensIsSaidWithItsPath) {
    QTemporaryDir bin;
    const QString fake = bin.filePath(QStringLiteral("xdg-open"));
    QFile script(fake);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'no method available for opening' >&2\nexit 3\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    QStringList failures;
    Files::setOpener({});
    Files::setFailureHandler([&](const QString& what) { failures.append(what); });
    const QString log = repo.root() + QStringLiteral("/a log.log");
    Files::openPath(log);
    EXPECT_TRUE(waitUntil([&] { return !failures.isEmpty(); }, 10000));
    qputenv("PATH", path);
    Files::setFailureHandler(nullptr);
    EXPECT_EQ(failures, QStringList{log});

    auto e = makeEngine();
    PanelView panel(e.get(), false);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    panel.showOpenFailure(log);
    QString said;
    for (auto* c : panel.findChildren<ClampedText*>())
        said += c->text();
    EXPECT_TRUE(said.contains(QStringLiteral("„%1“").arg(log))) << said.toStdString();
    QAbstractButton* copy = nullptr;
    for (auto* b : panel.findChildren<QAbstractButton*>())
        if (b->text() == u"Pfad kopieren") copy = b;
    ASSERT_NE(copy, nullptr);
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), log);
}

TEST_F(Panel, QuittingWithRunsUnderWayAsksOnce) {
    holdScript();
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n"
                "[[task]]\nname = 'D'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    auto e = makeEngine();
    e->runNow(task(*e, "D"), true); // H, never run, is due and starts beside it
    e->runNow(task(*e, "H"), false);
    ASSERT_TRUE(task(*e, "H")->running && task(*e, "D")->running);
    // A dry run is marked in its row; a real run is not.
    EXPECT_TRUE(ViewModel::row(*task(*e, "D"), *e).dryRun);
    EXPECT_FALSE(ViewModel::row(*task(*e, "H"), *e).dryRun);

    PanelView panel(e.get(), false);
    panel.quitAsking();
    auto* question = panel.findChild<QMessageBox*>(QStringLiteral("quitQuestion"));
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), u"2 Läufe laufen. Abbrechen und beenden?");
    EXPECT_FALSE(question->isModal() && question->windowModality() == Qt::ApplicationModal);
    question->reject();
    EXPECT_TRUE(task(*e, "H")->running) << "kept running when the person says so";
    release();
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "H")->running && !task(*e, "D")->running; }));
}
