#include "model/ViewModel.h"
#include "model/EngineWatch.h"
#include "support/EngineFixture.h"
#include "widgets/Symbols.h"

namespace {

class Views : public EngineFixture {
  protected:
    // Tasks named by their wanted status: g(reen), y(ellow), r(ed), n(ever), e(rror).
    std::unique_ptr<Engine> engineWith(const QList<QPair<QByteArray, QByteArray>>& tasks) {
        QByteArray toml;
        for (const auto& [name, group] : tasks) {
            toml += "[[task]]\nname = '" + name + "'\ntype = 'external'\nscript = 'x.sh'\n";
            if (!group.isEmpty()) toml += "group = '" + group + "'\n";
            const char kind = name.at(0);
            if (kind == 'g') writeLog(name.constData(), clockNow.addSecs(-3600), "SUCCESS");
            if (kind == 'y') writeLog(name.constData(), clockNow.addSecs(-30 * 3600), "SUCCESS");
            if (kind == 'r') writeLog(name.constData(), clockNow.addSecs(-80 * 3600), "SUCCESS");
            if (kind == 'e') writeLog(name.constData(), clockNow.addSecs(-60), "FAILED");
        }
        writeConfig(toml);
        return makeEngine();
    }
};

QDateTime at(qint64 s) {
    return QDateTime::fromSecsSinceEpoch(s, Qt::UTC);
}

} // namespace

TEST(RelativeTimeText, Edges) {
    const QDateTime now = at(1'800'000'000);
    EXPECT_EQ(RelativeTime::text(std::nullopt, now), u"nie");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-30), now), u"gerade eben");
    EXPECT_EQ(RelativeTime::text(now.addSecs(60), now), u"gerade eben");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-3599), now), u"vor 59 Min.");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-3600), now), u"vor 1 Std.");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-(47 * 60 + 59) * 60), now), u"vor 47 Std.");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-48 * 3600), now), u"vor 2 Tagen");
    EXPECT_EQ(RelativeTime::text(now.addSecs(-(71 * 3600)), now), u"vor 2 Tagen");
}

TEST_F(Views, CountAndErrorLines) {
    auto e = engineWith({{"g1", ""},
                         {"g2", ""},
                         {"g3", ""},
                         {"r1", ""},
                         {"n1", ""},
                         {"y1", ""},
                         {"e1", ""},
                         {"e2", ""}});
    const auto& tasks = e->tasks.value();
    task(*e, "g1")->pending = PendingStart{};
    EXPECT_EQ(ViewModel::countLine(tasks, clockNow, false),
              u"3 ok · 1 Warnung · 2 überfällig · 2 Fehler · 1 wartet");
    task(*e, "g2")->running = true;
    EXPECT_EQ(ViewModel::countLine(tasks, clockNow, true),
              u"2 ok · 1 Warnung · 2 überfällig · 2 Fehler · 1 läuft · 1 wartet · pausiert");
    EXPECT_EQ(ViewModel::errorLine(tasks, clockNow), QStringLiteral("e1: Fehler (+1 weitere)"));
    EXPECT_EQ(ViewModel::countLine({}, clockNow, false), u"0 ok");
    EXPECT_FALSE(ViewModel::errorLine({}, clockNow));
}

TEST_F(Views, GroupsKeepFirstAppearanceWithOthersLast) {
    auto e = engineWith({{"g1", "B"}, {"g2", "Sonstiges"}, {"g3", "B"}, {"g4", ""}, {"g5", "A"}});
    QStringList order;
    for (const auto& [name, members] : ViewModel::groups(e->tasks.value())) {
        QStringList ids;
        for (const auto& t : members)
            ids.append(t->id);
        order.append(name + u':' + ids.join(u','));
    }
    EXPECT_EQ(order, QStringList({QStringLiteral("B:g1,g3"), QStringLiteral("A:g5"),
                                  QStringLiteral("Sonstiges:g2,g4")}));
}

TEST_F(Views, CollapseRules) {
    auto four = engineWith({{"g1", "G"}, {"g2", "G"}, {"g3", "G"}, {"g4", "G"}});
    GroupModel g = ViewModel::panel(*four, false, {}).groups.value(0);
    EXPECT_EQ(g.visibleIds.size(), 4);
    EXPECT_FALSE(g.toggle);

    auto five = engineWith({{"g5", "H"}, {"g6", "H"}, {"g7", "H"}, {"g8", "H"}, {"g9", "H"}});
    g = ViewModel::panel(*five, false, {}).groups.value(0);
    EXPECT_EQ(g.visibleIds,
              QStringList({QStringLiteral("g5"), QStringLiteral("g6"), QStringLiteral("g7")}));
    EXPECT_TRUE(g.toggle);
    EXPECT_EQ(g.hidden, 2);
    EXPECT_FALSE(g.open);
    task(*five, "g9")->pending = PendingStart{};
    EXPECT_EQ(ViewModel::panel(*five, false, {}).groups.value(0).hidden, 1)
        << "waiting stays visible";
    g = ViewModel::panel(*five, false, {QStringLiteral("H")}).groups.value(0);
    EXPECT_TRUE(g.open && g.toggle);
    EXPECT_EQ(g.visibleIds.size(), 5);
    g = ViewModel::panel(*five, true, {QStringLiteral("H")}).groups.value(0);
    EXPECT_TRUE(g.open);
    EXPECT_FALSE(g.toggle) << "no toggle when everything is expanded";

    auto six =
        engineWith({{"g1", "X"}, {"g2", "X"}, {"g3", "X"}, {"r4", "X"}, {"r5", "X"}, {"n6", "X"}});
    g = ViewModel::panel(*six, false, {}).groups.value(0);
    EXPECT_EQ(g.visibleIds.size(), 6);
    EXPECT_FALSE(g.toggle) << "closed, but nothing hidden";
}

TEST_F(Views, RowTextsAndColours) {
    auto e = engineWith({{"g1", ""}, {"r1", ""}, {"n1", ""}, {"y1", ""}, {"e1", ""}});
    auto meta = [&](const char* id) {
        const RowModel r = ViewModel::row(*task(*e, id), *e);
        return std::pair{r.meta, r.metaTone};
    };
    EXPECT_EQ(meta("g1"), std::pair(QStringLiteral("vor 1 Std."), Tone::Tertiary));
    EXPECT_EQ(meta("y1"), std::pair(QStringLiteral("vor 30 Std."), Tone::Orange));
    EXPECT_EQ(meta("r1"), std::pair(QStringLiteral("vor 3 Tagen"), Tone::Red));
    EXPECT_EQ(meta("n1"), std::pair(QStringLiteral("nie"), Tone::Red));
    EXPECT_EQ(meta("e1"), std::pair(QStringLiteral("Fehler"), Tone::Red));
    task(*e, "r1")->pending = PendingStart{};
    EXPECT_EQ(meta("r1"), std::pair(QStringLiteral("wartet"), Tone::Secondary));

    task(*e, "n1")->running = true;
    EXPECT_EQ(meta("n1"), std::pair(QStringLiteral("läuft"), Tone::Accent)) << "no start known";
    task(*e, "n1")->running = false;
    const auto g = task(*e, "g1");
    g->running = true;
    EXPECT_EQ(meta("g1").first, u"läuft · 60:00") << "timed from the newest log";
    g->startTime = clockNow.addSecs(-65);
    EXPECT_EQ(meta("g1").first, u"läuft · 1:05");
    g->startTime = clockNow.addSecs(-4500);
    EXPECT_EQ(meta("g1").first, u"läuft · 75:00");
    g->progress = 7;
    EXPECT_EQ(meta("g1").first, u"läuft · 7 %");
    EXPECT_EQ(ViewModel::row(*g, *e).progressBar, 7);
    g->pending = PendingStart{};
    EXPECT_EQ(meta("g1").first, u"läuft · 7 %") << "running wins over waiting";

    // Elsewhere: timed from the newest log's start.
    const auto n = task(*e, "n1");
    n->runningElsewhere = true;
    LogSummary s;
    s.latestStart = clockNow.addSecs(-125);
    n->summary = s;
    EXPECT_EQ(meta("n1").first, u"läuft · 2:05");
    EXPECT_FALSE(ViewModel::row(*n, *e).running);
    EXPECT_TRUE(ViewModel::row(*n, *e).isRunning);
}

// A held task says why in its row and counts as waiting; otherwise the tooltip
// says when it starts next.
TEST_F(Views, HeldTasksSayWhyAndOthersWhenTheyRunNext) {
    writeConfig("[[task]]\nname = 'S'\ntype = 'scheduled'\nscript = 's.sh'\n"
                "description = 'Fotos'\ninterval_minutes = 30\n"
                "[[task]]\nname = 'M'\ntype = 'on_mount'\nscript = 'm.sh'\n"
                "watch_volumes = ['/mnt/nas']\n");
    writeLog("S", clockNow.addSecs(-18 * 60), "SUCCESS");
    writeLog("M", clockNow.addSecs(-3600), "SUCCESS");
    auto e = makeEngine();
    const auto s = task(*e, "S");
    EXPECT_EQ(ViewModel::row(*s, *e).tooltip, u"Fotos\nnächster Lauf: in 12 Min.");
    EXPECT_EQ(ViewModel::row(*task(*e, "M"), *e).tooltip, u"wartet auf Volume: nas")
        << "the volume it waits for is said once";

    s->heldBy = Hold{QStringLiteral("battery"), QStringLiteral("Akkubetrieb")};
    const RowModel held = ViewModel::row(*s, *e);
    EXPECT_EQ(held.meta, u"zurückgestellt: Akkubetrieb");
    EXPECT_EQ(held.metaShort, u"Akkubetrieb");
    EXPECT_EQ(held.metaTone, Tone::Secondary);
    EXPECT_EQ(held.tooltip, u"Fotos\nzurückgestellt: Akkubetrieb");
    EXPECT_EQ(ViewModel::countLine(e->tasks.value(), e->now.value(), false), u"2 ok · 1 wartet");
    s->running = true;
    EXPECT_TRUE(ViewModel::row(*s, *e).meta.startsWith(u"läuft")) << "a start by hand runs";
    EXPECT_EQ(ViewModel::countLine(e->tasks.value(), e->now.value(), false), u"1 ok · 1 läuft");

    Schedule::NextDue both;
    both.volumes = {QStringLiteral("/mnt/a"), QStringLiteral("/mnt/b")};
    EXPECT_EQ(ViewModel::nextRunText(both, true, clockNow), u"sobald /mnt/a und /mnt/b da sind");
    EXPECT_EQ(ViewModel::nextRunText(both, false, clockNow), u"sobald /mnt/a oder /mnt/b da ist");
    EXPECT_EQ(ViewModel::nextRunText({}, false, clockNow), std::nullopt);
}

TEST_F(Views, IconSymbolAndDot) {
    auto none = engineWith({});
    EXPECT_EQ(ViewModel::icon(*none), (IconModel{QStringLiteral("externaldrive"), std::nullopt,
                                                 QStringLiteral("Savewright\n0 ok")}));
    none->setPaused(true);
    EXPECT_EQ(ViewModel::icon(*none).symbol, u"pause.circle");

    auto e = engineWith({{"g1", ""}, {"y1", ""}, {"n1", ""}});
    EXPECT_EQ(ViewModel::icon(*e).dot, Tone::Red) << "never outranks yellow";
    task(*e, "n1")->running = true;
    EXPECT_EQ(ViewModel::icon(*e),
              (IconModel{QStringLiteral("arrow.triangle.2.circlepath"), Tone::Yellow,
                         QStringLiteral("Savewright\n1 ok · 1 Warnung · 1 läuft")}));
    task(*e, "y1")->runningElsewhere = true;
    EXPECT_EQ(ViewModel::icon(*e).dot, std::nullopt) << "running adds no dot";
}

TEST(SymbolNames, EachMeaningHasItsOwnFittingThemeIcon) {
    Symbols::setUpTheme();
    // The running indicator is not the reload button; starting all is a play symbol.
    EXPECT_NE(Symbols::themeName(QStringLiteral("arrow.triangle.2.circlepath")),
              Symbols::themeName(QStringLiteral("arrow.clockwise")));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("arrow.triangle.2.circlepath")),
              u"emblem-synchronizing-symbolic");
    // "Alle starten" and resume sit side by side while paused: never the same picture.
    EXPECT_NE(Symbols::themeName(QStringLiteral("play")),
              Symbols::themeName(QStringLiteral("playpause")));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("playpause")), u"media-playback-start-symbolic");
    EXPECT_EQ(Symbols::themeName(QStringLiteral("chevron.left.forwardslash.chevron.right")),
              u"document-edit-symbolic");
    for (const char* symbol : {"arrow.triangle.2.circlepath", "play", "arrow.clockwise",
                               "chevron.left.forwardslash.chevron.right", "doc.text"})
        EXPECT_FALSE(Symbols::icon(QString::fromLatin1(symbol)).isNull()) << symbol;
}

TEST(RelativeTimes, NextChangeIsExactlyWhenTheTextChanges) {
    const QDateTime date = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    for (qint64 offset = -300; offset < 6 * 86400; offset += 37) {
        const QDateTime now = date.addSecs(offset);
        const QDateTime next = RelativeTime::nextChange(date, now);
        ASSERT_GT(next, now) << offset;
        EXPECT_EQ(RelativeTime::text(date, next.addSecs(-1)), RelativeTime::text(date, now))
            << offset;
        EXPECT_NE(RelativeTime::text(date, next), RelativeTime::text(date, now)) << offset;
    }
}

TEST_F(Views, ClockTicksArePassedOverUntilAShownTextOrLightChanges) {
    auto e = engineWith({{"g1", ""}}); // a success an hour ago: "vor 1 Std."
    const QDateTime success = *task(*e, "g1")->lastRun();
    // The text turns "vor 2 Std." two hours after the success; the light turns
    // yellow at 24 hours: the next change is the earlier.
    EXPECT_EQ(ViewModel::nextChange(*e), success.addSecs(2 * 3600));
    EngineWatch::Shown shown;
    EXPECT_FALSE(EngineWatch::passOver(*e, true, shown)) << "nothing drawn yet";
    advance(30 * 60);
    e->tick();
    EXPECT_TRUE(EngineWatch::passOver(*e, true, shown));
    EXPECT_FALSE(EngineWatch::passOver(*e, false, shown)) << "a real change always draws";
    advance(static_cast<int>(e->now.value().secsTo(success.addSecs(2 * 3600))) + 1);
    e->tick();
    EXPECT_FALSE(EngineWatch::passOver(*e, true, shown)) << "due at once, not a minute later";
    EXPECT_EQ(ViewModel::row(*task(*e, "g1"), *e).meta, u"vor 2 Std.");
    advance(-3600); // the clock was set back
    e->tick();
    EXPECT_FALSE(EngineWatch::passOver(*e, true, shown));
}
