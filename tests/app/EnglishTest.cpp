// The interface in English, built from the same state as the German one:
// nothing a person reads is left in German.
#include "base/Language.h"
#include "control/StatusReport.h"
#include "model/ViewModel.h"
#include "notify/Notifier.h"
#include "shell/Files.h"
#include "support/EngineFixture.h"
#include "widgets/DryRunWindow.h"
#include "widgets/HistoryWindow.h"
#include "widgets/LogView.h"
#include "widgets/PanelView.h"
#include "widgets/TaskRow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

class English : public EngineFixture {
  protected:
    void SetUp() override { Language::choose(u"en"_s); }
    void TearDown() override { Language::choose(u"de"_s); }

    // Each kind of row, a group, a held task and a mistake in config.toml.
    std::unique_ptr<Engine> everyKindOfTask() {
        writeConfig(
            "[general]\ncolour = 'blue'\n"
            "[[task]]\nname = 'Fresh'\ntype = 'external'\nscript = 'f.sh'\n"
            "group = 'Photos'\ndescription = 'Holiday photos'\n"
            "[[task]]\nname = 'Aging'\ntype = 'external'\nscript = 'a.sh'\ngroup = 'Photos'\n"
            "[[task]]\nname = 'Old'\ntype = 'external'\nscript = 'o.sh'\n"
            "[[task]]\nname = 'Broken'\ntype = 'external'\nscript = 'b.sh'\n"
            "[[task]]\nname = 'Never'\ntype = 'scheduled'\nscript = 'n.sh'\n"
            "[[task]]\nname = 'Nas'\ntype = 'on_mount'\nscript = 'm.sh'\n"
            "watch_volumes = ['/mnt/nas', '/mnt/usb']\nrequire_all_volumes = true\n"
            "[[task]]\nname = 'Hourly'\ntype = 'scheduled'\nscript = 'h.sh'\n"
            "interval_minutes = 60\n"
            "[[task]]\nname = 'Weekly'\ntype = 'weekly'\nscript = 'w.sh'\n");
        writeLog("Fresh", clockNow.addSecs(-300), "SUCCESS");
        writeLog("Aging", clockNow.addSecs(-30 * 3600), "SUCCESS");
        writeLog("Old", clockNow.addSecs(-100 * 3600), "SUCCESS");
        writeLog("Broken", clockNow.addSecs(-60), "FAILED");
        writeLog("Nas", clockNow.addSecs(-3600), "SUCCESS");
        writeLog("Hourly", clockNow.addSecs(-600), "SUCCESS");
        writeLog("Weekly", clockNow.addSecs(-3600), "SUCCESS");
        auto e = makeEngine();
        e->pauseTask(QStringLiteral("Weekly"), std::nullopt);
        return e;
    }
};

// German words and letters no English text of the program holds.
QStringList german(const QStringList& texts) {
    static const QRegularExpression words(
        u"[äöüÄÖÜß„]|\\b(und|oder|nicht|noch|nie|läuft|Lauf|Fehler|wartet|Warnung|Sonstiges|"
        "Starten|Stoppen|öffnen|Einstellungen|Beenden|Fortsetzen|pausiert|Pausieren|gerade|vor|"
        "seit|bis|heute|morgen|Std|Sek|Tagen|sobald|nächster|Verlauf|Vorlage|weitere|Weniger|"
        "Zeile|unbekannter|Schlüssel|Skript|zeigen|Anmelden|Alle|laden|Sicherung|brauchen|"
        "Aufmerksamkeit|Beendet|liefen|wirklich|Klick)\\b"_s);
    QStringList out;
    for (const QString& t : texts)
        if (words.match(t).hasMatch()) out.append(t);
    return out;
}

QStringList textsOf(QWidget* root) {
    QStringList out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.append(root);
    for (QWidget* w : widgets) {
        out << w->toolTip() << w->windowTitle();
        if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->placeholderText();
        for (QAction* a : w->actions())
            out << a->text();
    }
    out.removeAll(QString());
    return out;
}

// The count line, the banners and rows of each kind, as everyKindOfTask() makes them.
QStringList keyTexts(Engine& e) {
    const PanelModel m = ViewModel::panel(e, true, {});
    const auto row = [&](const char* name) {
        for (const auto& t : e.tasks.value())
            if (t->id == QString::fromUtf8(name)) return ViewModel::row(*t, e);
        return RowModel{};
    };
    return QStringList{m.countLine} + m.banners +
           QStringList{row("Fresh").meta,  row("Old").meta,       row("Never").meta,
                       row("Weekly").meta, row("Hourly").tooltip, row("Nas").tooltip};
}

} // namespace

TEST_F(English, PanelRowsMenusAndBanners) {
    auto e = everyKindOfTask();
    PanelView panel(e.get(), true);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.resize(360, 900);
    panel.show();
    QCoreApplication::processEvents();

    QStringList shown = textsOf(&panel);
    const PanelModel m = ViewModel::panel(*e, true, {});
    shown << m.title << m.countLine << m.banners << ViewModel::icon(*e).toolTip;
    for (const auto& t : e->tasks.value()) {
        const RowModel r = ViewModel::row(*t, *e);
        shown << r.meta << r.metaShort << r.tooltip;
    }
    for (auto* row : panel.findChildren<TaskRow*>()) {
        QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(4, 4),
                               row->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(row, &open);
        for (QMenu* menu : row->findChildren<QMenu*>())
            shown << textsOf(menu);
    }
    EXPECT_EQ(german(shown), QStringList());

    // The texts themselves, and the German ones of the same state as they always were.
    EXPECT_EQ(
        keyTexts(*e),
        (QStringList{u"4 ok · 1 warning · 2 overdue · 1 failed · 1 waiting"_s,
                     u"config.toml line 2: [general]: unknown key “colour”"_s, u"Broken: failed"_s,
                     u"5 min ago"_s, u"4 days ago"_s, u"never"_s, u"held back: paused"_s,
                     u"next run: in 50 min"_s, u"waiting for volume: nas, usb"_s}));
    Language::choose(u"de"_s);
    EXPECT_EQ(keyTexts(*everyKindOfTask()),
              (QStringList{u"4 ok · 1 Warnung · 2 überfällig · 1 Fehler · 1 wartet"_s,
                           u"config.toml Zeile 2: [general]: unbekannter Schlüssel „colour“"_s,
                           u"Broken: Fehler"_s, u"vor 5 Min."_s, u"vor 4 Tagen"_s, u"nie"_s,
                           u"zurückgestellt: pausiert"_s, u"nächster Lauf: in 50 Min."_s,
                           u"wartet auf Volume: nas, usb"_s}));
    EXPECT_TRUE(shown.contains(u"Start all"_s) && shown.contains(u"Settings"_s) &&
                shown.contains(u"Pause until tomorrow"_s) && shown.contains(u"Open log"_s))
        << shown.join(u" | ").toStdString();
}

TEST_F(English, NotificationsAndDryRuns) {
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n"
                "[[task]]\nname = 'B'\ntype = 'external'\nscript = 'b.sh'\n");
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    writeLog("B", clockNow.addSecs(-100 * 3600), "SUCCESS");
    auto e = makeEngine();
    QList<Alert> alerts;
    e->onAlert = [&alerts](const Alert& a) { alerts.append(a); };
    e->start();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].title, u"2 tasks need attention");

    QStringList shown;
    for (Alert::Kind kind : {Alert::Kind::Failed, Alert::Kind::Overdue, Alert::Kind::Recovered,
                             Alert::Kind::Hung, Alert::Kind::Held}) {
        const Notifier::Content c =
            Notifier::alertContent(Alert{kind, u"A"_s, u"A: x"_s, u"y"_s, std::nullopt});
        shown << c.title << c.body;
        for (const auto& action : c.actions)
            shown << action.second;
    }
    const Notifier::Content update = Notifier::updateContent(
        UpdateInfo{u"2.0"_s, u"https://example.org"_s, std::nullopt}, u"1.0"_s);
    EXPECT_EQ(update.title, u"Savewright 2.0 available");
    EXPECT_EQ(update.body, u"Click to download (installed: 1.0)");
    const Notifier::Content deletion =
        Notifier::deletionContent(DeletionEvent{u"e1"_s, u"woche"_s, QString()}, u"/x.html"_s);
    EXPECT_EQ(deletion.title, u"Deletion report");
    EXPECT_EQ(deletion.body, u"e1 – click to open");

    DryRunWindow dry(u"A"_s, u"sending incremental file list\n"_s,
                     u"Abgebrochen: von Hand gestoppt"_s);
    shown << textsOf(&dry);
    EXPECT_EQ(dry.windowTitle(), u"Dry run: A");
    EXPECT_EQ(DryRunWindow::ending(u"Abgebrochen: von Hand gestoppt"_s),
              u"Finished with an error: Cancelled: stopped by hand");
    EXPECT_EQ(german(shown), QStringList());
}

TEST_F(English, TheQuitQuestionCountsTheRuns) {
    holdScript();
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n"
                "[[task]]\nname = 'D'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    auto e = makeEngine();
    e->runNow(task(*e, "D"), true);
    e->runNow(task(*e, "H"), false);
    PanelView panel(e.get(), false);
    panel.quitAsking();
    auto* question = panel.findChild<QMessageBox*>(QStringLiteral("quitQuestion"));
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), u"2 runs are under way. Cancel them and quit?");
    EXPECT_EQ(german(textsOf(question)), QStringList());
    question->reject();
    release();
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "H")->running && !task(*e, "D")->running; }));
}

TEST_F(English, TheHistoryWindowAndTheAboutBox) {
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    writeLog("A", clockNow.addSecs(-7200), "SUCCESS");
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    auto e = makeEngine();
    HistoryWindow history(e.get(), task(*e, "A"));
    QStringList shown = textsOf(&history);
    QTreeWidget* list = history.list();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    for (int c = 0; c < list->columnCount(); ++c)
        shown << list->headerItem()->text(c) << list->topLevelItem(0)->text(c)
              << list->topLevelItem(1)->text(c);
    EXPECT_EQ(history.title(), u"A · 2 runs");
    EXPECT_EQ(list->headerItem()->text(2), u"Result");
    EXPECT_EQ(list->topLevelItem(0)->text(2), u"failed");
    history.log()->search(u"no such text"_s);

    Files::showAbout();
    QWidget* about = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"about") about = w;
    ASSERT_NE(about, nullptr);
    shown << textsOf(about);
    EXPECT_EQ(about->windowTitle(), u"About Savewright");
    about->close();
    EXPECT_EQ(german(shown), QStringList());
}
