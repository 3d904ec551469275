// The history window on real log folders, offscreen: its list and chart, a
// selected run's log, a run that is under way, and a log of a gibibyte.
#include "widgets/HistoryWindow.h"
#include "support/EngineFixture.h"
#include "widgets/HistoryChart.h"
#include "widgets/LogView.h"
#include "widgets/Palette.h"

#include <QPlainTextEdit>
#include <QTreeWidget>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class HistoryView : public EngineFixture {
  protected:
    void SetUp() override {
        writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n"
                    "interval_minutes = 100000\n");
    }
    QString put(int minutesAgo, const char* status, const QByteArray& body,
                const QByteArray& rest = {}) {
        const QString name =
            LogStore::fileName(LogTime::fromDateTime(clockNow.addSecs(-60 * minutesAgo)), u"A"_s);
        return repo.write(u"repo/logs/"_s + name,
                          QByteArray("Ferrymat Log \xe2\x80\x94 A\nStarted: "
                                     "2026-01-01T00:00:00.000000\nScript: a.sh\nStatus: ") +
                              status + "\n\n--- Output ---\n" + body + rest);
    }
    QStringList row(HistoryWindow& w, int i) {
        QStringList out;
        for (int c = 0; c < w.list()->columnCount(); ++c)
            out.append(w.list()->topLevelItem(i)->text(c));
        return out;
    }
    static qint64 residentKiB() {
        const QByteArray status = TempRepo::read(u"/proc/self/status"_s);
        const qsizetype at = status.indexOf("VmRSS:");
        return status.mid(at + 6, status.indexOf('\n', at) - at - 6)
            .trimmed()
            .split(' ')[0]
            .toLongLong();
    }
};

} // namespace

TEST_F(HistoryView, ListChartAndTheSelectedRunsLog) {
    put(180, "SUCCESS", "sent\n",
        "\n--- Finished: 2026-01-01T00:02:00.000000 ---\n\n--- Stats ---\nFiles: 12\n"
        "Transferred size: 2,048 bytes\n");
    put(60, "FAILED", "rsync: connection refused\n",
        "\n--- Finished: 2026-01-01T00:00:05.000000 ---\n");
    auto e = makeEngine();
    HistoryWindow w(e.get(), task(*e, "A"));
    ASSERT_EQ(w.list()->topLevelItemCount(), 2);
    EXPECT_EQ(row(w, 0).mid(1), (QStringList{u"0:05"_s, u"fehlgeschlagen"_s, QString(), QString(),
                                             u"rsync: connection refused"_s}));
    EXPECT_EQ(row(w, 1).mid(1),
              (QStringList{u"2:00"_s, u"erfolgreich"_s, u"2,048 bytes"_s, u"12"_s, QString()}));
    EXPECT_TRUE(w.log()->text()->toPlainText().contains(u"rsync: connection refused"))
        << "the newest run is shown at once";
    w.list()->setCurrentItem(w.list()->topLevelItem(1));
    EXPECT_TRUE(w.log()->text()->toPlainText().contains(u"Files: 12"));
    w.log()->search(u"Files"_s);
    EXPECT_TRUE(w.log()->text()->textCursor().hasSelection());
    EXPECT_EQ(w.log()->text()->extraSelections().size(), 1);

    // Each run's bar in its outcome's colour, on a light and a dark panel.
    for (const QPalette& look : {Palette::light(), Palette::dark()}) {
        w.setPalette(look);
        const QImage chart = w.chart()->grab().toImage();
        const auto shows = [&](Tone tone) {
            const QRgb wanted = Palette::color(tone, look).rgb();
            for (int y = 0; y < chart.height(); ++y)
                for (int x = 0; x < chart.width(); ++x)
                    if (chart.pixel(x, y) == wanted) return true;
            return false;
        };
        EXPECT_TRUE(shows(Tone::Red) && shows(Tone::Green)) << Palette::isDark(look);
    }
}

// A run under way: listed as running, its output appears as written, and its
// end shows at once.
TEST_F(HistoryView, ARunUnderWayIsFollowed) {
    repo.script(u"a.sh"_s, "echo erste Zeile\n"
                           "while [ ! -e \"$PWD/../more\" ]; do sleep 0.05; done\n"
                           "echo zweite Zeile\n"
                           "while [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n");
    auto e = makeEngine();
    e->start(); // never ran: due
    const auto a = task(*e, "A");
    ASSERT_TRUE(waitUntil([&] { return a->running.value(); }));
    e->refreshLogs();
    HistoryWindow w(e.get(), a);
    w.show();
    ASSERT_TRUE(waitUntil([&] {
        return w.list()->topLevelItemCount() == 1 &&
               w.log()->text()->toPlainText().contains(u"erste Zeile");
    }));
    EXPECT_EQ(row(w, 0)[2], u"läuft");
    advance(65);
    e->tick();
    EXPECT_TRUE(waitUntil([&] { return row(w, 0)[1] == u"1:05"; })) << row(w, 0)[1].toStdString();
    a->progress = 42;
    EXPECT_TRUE(waitUntil([&] { return w.title() == u"A · 1 Lauf · läuft · 42 %"; }))
        << w.title().toStdString();
    repo.write(u"more"_s, "x");
    EXPECT_TRUE(waitUntil([&] { return w.log()->text()->toPlainText().contains(u"zweite Zeile"); }))
        << "new output appears while the run lasts";
    release();
    ASSERT_TRUE(waitUntil([&] { return !a->running.value(); }));
    e->refreshLogs();
    EXPECT_TRUE(waitUntil([&] { return row(w, 0)[2] == u"erfolgreich"; }));
}

// A log of a gibibyte opens at its end without being read whole.
TEST_F(HistoryView, AGibibyteLogOpensAtItsEnd) {
    const QString path = put(1, "FAILED", "erste Zeile\n");
    {
        const int fd = ::open(path.toUtf8().constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const QByteArray tail = "\nvorletzte Zeile\nletzte Zeile\n\n--- Finished: "
                                "2026-01-01T00:00:05.000000 ---\n";
        ASSERT_EQ(::pwrite(fd, tail.constData(), tail.size(), (1LL << 30)), tail.size());
        ::close(fd);
    }
    auto e = makeEngine();
    const qint64 before = residentKiB();
    HistoryWindow w(e.get(), task(*e, "A"));
    const qint64 grew = residentKiB() - before;
    EXPECT_TRUE(w.log()->text()->toPlainText().endsWith(u"letzte Zeile\n\n--- Finished: "
                                                        u"2026-01-01T00:00:05.000000 ---\n"));
    EXPECT_LE(w.log()->loadedTo() - w.log()->loadedFrom(), LogView::kChunk);
    EXPECT_LT(grew, 64 * 1024) << "KiB more for a 1 GiB log";
    EXPECT_EQ(w.runs().first().failureLine, u"letzte Zeile");
    w.log()->loadEarlier();
    EXPECT_LE(w.log()->loadedTo() - w.log()->loadedFrom(), 2 * LogView::kChunk);
}
