#include "config/AppConfig.h"
#include "config/Paths.h"
#include "support/TempRepo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

QString errorOf(const char* text) {
    try {
        AppConfig::parse(QString::fromUtf8(text));
    } catch (const TOMLError& e) {
        return e.description();
    }
    return {};
}

TaskConfig onlyTask(const char* keys) {
    const AppConfig c = AppConfig::parse(
        QStringLiteral("[[task]]\nname = 'T'\ntype = 'scheduled'\nscript = 's.sh'\n") +
        QString::fromUtf8(keys));
    return c.tasks.value(0);
}

} // namespace

TEST(AppConfig, EmptyFileGivesDefaults) {
    const AppConfig c = AppConfig::parse(QString());
    EXPECT_EQ(c, AppConfig());
    EXPECT_TRUE(c.tasks.isEmpty());
    EXPECT_EQ(c.pollIntervalSeconds, 30.0);
    EXPECT_EQ(c.mountRetryMinutes, 30.0);
    EXPECT_TRUE(c.updateURL.isEmpty());
}

TEST(AppConfig, EveryKeyAndItsDefault) {
    const AppConfig c = AppConfig::parse(QStringLiteral(
        "[general]\npoll_interval_seconds = 12\nmount_retry_minutes = 2.5\n"
        "update_url = 'https://u'\n"
        "[[task]]\nname = 'Foto Archiv'\ntype = 'on_mount'\nscript = 'f.sh'\n"
        "description = 'd'\ngroup = ' Backup '\nmax_logs = 7.9\ninterval_minutes = 5\n"
        "interval_hours = 12\nwarn_hours = 1\nred_hours = 2\nwatch_volumes = ['A', 1, 'B']\n"
        "mount_url = 'y'\nmount_urls = ['x']\nrequire_all_volumes = true\nday = 'Monday'\n"
        "time = '4:5'\nunknown = 1\n"
        "[[task]]\nname = 'E'\ntype = 'external'\nscript = 'e.sh'\n"));
    EXPECT_EQ(c.pollIntervalSeconds, 12.0);
    EXPECT_EQ(c.mountRetryMinutes, 2.5);
    EXPECT_EQ(c.updateURL, u"https://u");
    ASSERT_EQ(c.tasks.size(), 2);
    const TaskConfig& t = c.tasks[0];
    EXPECT_EQ(t.safeName(), u"Foto_Archiv");
    EXPECT_EQ(t.type, TaskType::OnMount);
    EXPECT_EQ(t.group, QStringLiteral(" Backup "));
    EXPECT_EQ(t.maxLogs, 7);
    EXPECT_EQ(t.intervalMinutes, 5.0);
    EXPECT_EQ(t.intervalHours, 12.0);
    EXPECT_EQ(t.watchVolumes, QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_TRUE(t.requireAllVolumes);
    EXPECT_EQ(t.day, u"Monday");
    EXPECT_EQ(t.mountURLFor(QStringLiteral("A")), u"x");
    EXPECT_EQ(t.mountURLFor(QStringLiteral("B")), QString());
    EXPECT_EQ(t.mountURLFor(QStringLiteral("C")), QString());

    TaskConfig defaults(QStringLiteral("E"), TaskType::External, QStringLiteral("e.sh"));
    EXPECT_EQ(c.tasks[1], defaults);
    EXPECT_FALSE(c.tasks[1].group);
}

TEST(AppConfig, WrongTypesFallBackToDefaults) {
    EXPECT_TRUE(onlyTask("watch_volumes = 'NAS'").watchVolumes.isEmpty());
    EXPECT_EQ(onlyTask("max_logs = 'ten'").maxLogs, 30);
    EXPECT_EQ(onlyTask("max_logs = 1e300").maxLogs, 30);
    EXPECT_EQ(onlyTask("max_logs = nan").maxLogs, 30);
    EXPECT_EQ(onlyTask("warn_hours = true").warnHours, 24.0);
    EXPECT_EQ(onlyTask("require_all_volumes = 1").requireAllVolumes, false);
    EXPECT_FALSE(onlyTask("group = ' \t '").group);
    EXPECT_FALSE(onlyTask("group = 3").group);
    const TaskConfig single = onlyTask("watch_volumes = ['A', 'B']\nmount_url = 'y'");
    EXPECT_EQ(single.mountURLFor(QStringLiteral("A")), u"y");
    EXPECT_EQ(single.mountURLFor(QStringLiteral("B")), u"y");
}

TEST(AppConfig, NamesThatCannotNameALogAreRefused) {
    const auto task = [](const char* name, const char* script = "s.sh") {
        return errorOf((QByteArray("[[task]]\nname = \"") + name +
                        "\"\ntype = 'scheduled'\nscript = \"" + script + "\"\n")
                           .constData());
    };
    for (const char* bad : {"a\\u0000b", "Fotos\\nNAS", "a\\rb", "NAS/Fotos"})
        EXPECT_TRUE(task(bad).endsWith(
            u"name darf kein „/“, keinen Zeilenumbruch und kein Nullzeichen enthalten"))
            << bad;
    EXPECT_TRUE(task("ok", "s\\n.sh")
                    .endsWith(u"script darf keinen Zeilenumbruch und kein Nullzeichen enthalten"));
    // The status line must end within the 500 bytes a reader looks at.
    const QByteArray longest(422 - 4, 'n');
    EXPECT_EQ(task(longest.constData()), QString());
    EXPECT_EQ(task((longest + "n").constData()),
              QStringLiteral(
                  "config.toml Zeile 0: Task „%1“: name und script zusammen länger als 422 Bytes")
                  .arg(QString::fromLatin1(longest + "n")));
    EXPECT_EQ(task("ä"), QString()) << "any other character is fine";
    // Nothing empty, and only scripts of the repository's Scripts folder.
    for (const auto& [name, script] :
         {std::pair{"", "s.sh"}, std::pair{"A", ""}, std::pair{" ", "s.sh"}})
        EXPECT_TRUE(task(name, script).endsWith(u"name und script dürfen nicht leer sein"))
            << name << "|" << script;
    for (const char* outside : {"../../outside/x.sh", "/usr/local/bin/x.sh", "sub/../../x.sh"})
        EXPECT_EQ(task("A", outside),
                  QStringLiteral("config.toml Zeile 0: Task „A“: script „%1“ liegt nicht im "
                                 "Ordner Scripts")
                      .arg(QString::fromUtf8(outside)))
            << outside;
    EXPECT_EQ(task("A", "sub/x..y.sh"), QString()) << "a subfolder and dots in a name are fine";
}

namespace {

// One task 'A' with `line` as its fifth line.
AppConfig withTaskLine(const char* line) {
    return AppConfig::parse(
        QStringLiteral("[[task]]\nname='A'\ntype='scheduled'\nscript='a.sh'\n") +
        QString::fromLatin1(line));
}

} // namespace

TEST(AppConfig, AtLeastOneLogIsKept) {
    for (const char* keep : {"max_logs = 0", "max_logs = -5"}) {
        const AppConfig c = withTaskLine(keep);
        EXPECT_EQ(c.tasks[0].maxLogs, 1) << keep;
        EXPECT_EQ(c.warnings, QStringList{QStringLiteral(
                                  "config.toml Zeile 5: Task „A“: max_logs muss mindestens 1 "
                                  "sein, es gilt 1")})
            << keep;
    }
}

TEST(AppConfig, ALogsSizeIsBoundedUnlessSetToZero) {
    EXPECT_EQ(withTaskLine("").tasks[0].maxLogMb, 256);
    EXPECT_EQ(withTaskLine("max_log_mb = 0").tasks[0].maxLogMb, 0) << "0 keeps all";
    EXPECT_EQ(withTaskLine("max_log_mb = 0.5").tasks[0].maxLogMb, 0.5);
    EXPECT_TRUE(withTaskLine("max_log_mb = 0").warnings.isEmpty());
    for (const char* bad : {"max_log_mb = -1", "max_log_mb = nan", "max_log_mb = 1e300"}) {
        const AppConfig c = withTaskLine(bad);
        EXPECT_EQ(c.tasks[0].maxLogMb, 256) << bad;
        EXPECT_EQ(c.warnings, QStringList{QStringLiteral(
                                  "config.toml Zeile 5: Task „A“: max_log_mb muss zwischen 0 und "
                                  "1000000000 liegen, es gilt 256")})
            << bad;
    }
}

TEST(AppConfig, BatteryAndMeteredTakeRunOrSkipEachTaskOrAll) {
    const AppConfig c = AppConfig::parse(QStringLiteral(
        "[general]\non_battery = 'skip'\nmin_battery_percent = 25\non_metered = 'sometimes'\n"
        "[[task]]\nname='A'\ntype='scheduled'\nscript='a.sh'\non_battery = 'run'\n"
        "[[task]]\nname='B'\ntype='scheduled'\nscript='b.sh'\non_metered = 'skip'\n"
        "min_battery_percent = 101\n"));
    EXPECT_TRUE(c.skipOnBattery);
    EXPECT_FALSE(c.skipOnMetered) << "a wrong word keeps the default";
    EXPECT_EQ(c.minBatteryPercent, 25);
    EXPECT_EQ(c.tasks[0].skipOnBattery, false);
    EXPECT_EQ(c.tasks[0].skipOnMetered, std::nullopt) << "as [general] says";
    EXPECT_EQ(c.tasks[1].skipOnMetered, true);
    EXPECT_EQ(c.warnings.join(u'\n').toStdString(),
              "config.toml Zeile 4: [general]: on_metered muss „run“ oder „skip“ sein, es gilt "
              "„run“\nconfig.toml Zeile 15: Task „B“: unbekannter Schlüssel "
              "„min_battery_percent“");
    const AppConfig negative =
        AppConfig::parse(QStringLiteral("[general]\nmin_battery_percent = -3\n"));
    EXPECT_EQ(negative.minBatteryPercent, std::nullopt);
    EXPECT_EQ(negative.warnings.join(u'\n').toStdString(),
              "config.toml Zeile 2: [general]: min_battery_percent muss zwischen 0 und 100 "
              "liegen, es gilt keine Grenze");
}

TEST(AppConfig, NiceAndIoClassTakeTheirRangeOrLeaveTheProgramsOwn) {
    const AppConfig c = AppConfig::parse(QStringLiteral(
        "[[task]]\nname='A'\ntype='scheduled'\nscript='a.sh'\nnice = 19\nio_class = 'idle'\n"
        "[[task]]\nname='B'\ntype='scheduled'\nscript='b.sh'\nnice = 20\nio_class = 'realtime'\n"
        "[[task]]\nname='C'\ntype='scheduled'\nscript='c.sh'\nnice = 2.5\n"
        "io_class = 'best-effort'\n"));
    EXPECT_EQ(c.tasks[0].nice, 19);
    EXPECT_EQ(c.tasks[0].ioIdle, true);
    EXPECT_EQ(c.tasks[1].nice, std::nullopt);
    EXPECT_EQ(c.tasks[1].ioIdle, std::nullopt);
    EXPECT_EQ(c.tasks[2].nice, std::nullopt);
    EXPECT_EQ(c.tasks[2].ioIdle, false);
    EXPECT_EQ(c.warnings.join(u'\n').toStdString(),
              "config.toml Zeile 11: Task „B“: nice muss eine ganze Zahl von 0 bis 19 sein, es "
              "gilt die Priorität des Programms\n"
              "config.toml Zeile 12: Task „B“: io_class muss „idle“ oder „best-effort“ sein, es "
              "gilt die Klasse des Programms\n"
              "config.toml Zeile 17: Task „C“: nice muss eine ganze Zahl von 0 bis 19 sein, es "
              "gilt die Priorität des Programms");
}

TEST(AppConfig, WeeklyLimitsFitAWeekAndNotificationKeys) {
    const AppConfig c = AppConfig::parse(QStringLiteral(
        "[general]\nnotify = false\n"
        "[[task]]\nname='W'\ntype='weekly'\nscript='w.sh'\ncatch_up = true\n"
        "[[task]]\nname='X'\ntype='weekly'\nscript='x.sh'\nwarn_hours = 30\nred_hours = 80\n"
        "[[task]]\nname='S'\ntype='scheduled'\nscript='s.sh'\nnotify = false\nremind_hours = 6\n"
        "max_run_minutes = 90\n"));
    EXPECT_FALSE(c.notify);
    EXPECT_EQ(c.tasks[0].warnHours, 170.0);
    EXPECT_EQ(c.tasks[0].redHours, 338.0);
    EXPECT_TRUE(c.tasks[0].catchUp);
    EXPECT_EQ(c.tasks[1].warnHours, 30.0) << "explicit values are kept";
    EXPECT_EQ(c.tasks[1].redHours, 80.0);
    EXPECT_FALSE(c.tasks[1].catchUp);
    EXPECT_EQ(c.tasks[2].warnHours, 24.0);
    EXPECT_FALSE(c.tasks[2].notify);
    EXPECT_EQ(c.tasks[2].remindHours, 6.0);
    EXPECT_EQ(c.tasks[2].maxRunMinutes, 90.0);
    EXPECT_TRUE(c.tasks[0].notify);
    EXPECT_EQ(c.tasks[0].remindHours, 24.0);
    EXPECT_FALSE(c.tasks[0].maxRunMinutes);
}

TEST(AppConfig, ValidationMessagesInOrder) {
    EXPECT_EQ(errorOf("[[task]]"),
              u"config.toml Zeile 0: Task 1: name, type und script sind Pflicht");
    EXPECT_EQ(errorOf("[[task]]\nname='a'\ntype=1\nscript='s'"),
              u"config.toml Zeile 0: Task 1: name, type und script sind Pflicht");
    EXPECT_EQ(errorOf("[[task]]\nname='a'\ntype='Weekly'\nscript='s'"),
              u"config.toml Zeile 0: Task „a“: unbekannter type „Weekly“");
    EXPECT_EQ(errorOf("[[task]]\nname='a'\ntype='weekly'\nscript='s'\n"
                      "[[task]]\nname='b'\ntype='weekly'"),
              u"config.toml Zeile 0: Task 2: name, type und script sind Pflicht");
    // Syntax errors come first and carry their line.
    EXPECT_EQ(errorOf("[[task]]\nname = 'a\n"), u"config.toml Zeile 2: String nicht geschlossen");
    // A plain table is not a task.
    EXPECT_TRUE(AppConfig::parse(QStringLiteral("[task]\nname='a'")).tasks.isEmpty());
}

TEST(AppConfig, LoadReportsUnreadableFiles) {
    TempRepo repo;
    const QString missing = repo.root() + QStringLiteral("/none.toml");
    try {
        AppConfig::load(missing);
        FAIL() << "missing file loaded";
    } catch (const TOMLError&) {
        FAIL() << "a read failure is not a syntax error";
    } catch (const ConfigError& e) {
        EXPECT_TRUE(e.description().contains(missing));
        EXPECT_TRUE(e.description().contains(u"Datei fehlt"));
    }
    const QString latin1 = repo.write(QStringLiteral("bad.toml"), "name = '\xe9'\n");
    EXPECT_THROW(AppConfig::load(latin1), ConfigError);
    const QString good = repo.write(QStringLiteral("good.toml"),
                                    "[[task]]\nname='ä'\ntype='external'\nscript='x'\n");
    EXPECT_EQ(AppConfig::load(good).tasks.value(0).name, u"ä");
    // A FIFO in place of the file fails at once instead of waiting for a writer.
    const QString fifo = repo.root() + QStringLiteral("/fifo.toml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    try {
        AppConfig::load(fifo);
        FAIL() << "a FIFO loaded";
    } catch (const ConfigError& e) {
        EXPECT_EQ(e.description(),
                  QStringLiteral("„%1“ nicht lesbar: keine normale Datei").arg(fifo));
    }
}

TEST(AppConfig, MonitoringKeys) {
    EXPECT_EQ(onlyTask("ping_url = 'https://hc.example/p/1'\n").pingURL, u"https://hc.example/p/1");
    EXPECT_TRUE(onlyTask("").pingURL.isEmpty());
    for (const char* bad :
         {"ping_url = 'ftp://x/y'\n", "ping_url = '/tmp/x'\n", "ping_url = 'file:///etc/passwd'\n"})
        EXPECT_EQ(errorOf((std::string("[[task]]\nname = 'T'\ntype = 'scheduled'\nscript = "
                                       "'s.sh'\n") +
                           bad)
                              .c_str()),
                  u"config.toml Zeile 0: Task „T“: ping_url muss mit http:// oder https:// "
                  u"beginnen")
            << bad;
    EXPECT_EQ(
        AppConfig::parse(QStringLiteral("[general]\nmetrics_file = '~/m/s.prom'\n")).metricsFile,
        QDir::homePath() + QStringLiteral("/m/s.prom"));
    EXPECT_EQ(AppConfig::parse(QStringLiteral("[general]\nmetrics_file = '/a/~/b'\n")).metricsFile,
              u"/a/~/b");
    EXPECT_TRUE(AppConfig::parse({}).metricsFile.isEmpty());
}

TEST(AppConfig, WarningsNameLineTaskAndKey) {
    struct Case {
        const char* toml;
        const char* warning; // empty: none
    };
    const char* task = "[[task]]\nname = 'T'\ntype = 'scheduled'\nscript = 's.sh'\n";
    const Case cases[] = {
        {"interval_minutes = '30'\n",
         "config.toml Zeile 5: Task „T“: interval_minutes muss eine Zahl sein, es gilt der "
         "Standardwert"},
        {"intervall_minutes = 30\n", "config.toml Zeile 5: Task „T“: unbekannter Schlüssel "
                                     "„intervall_minutes“"},
        {"notify = 'no'\n",
         "config.toml Zeile 5: Task „T“: notify muss true oder false sein, es gilt der "
         "Standardwert"},
        {"mount_urls = ['smb://a', 3]\n",
         "config.toml Zeile 5: Task „T“: mount_urls muss eine Liste von Texten sein, nur die Texte "
         "darin gelten"},
        {"group = 7\n", "config.toml Zeile 5: Task „T“: group muss ein Text in Anführungszeichen "
                        "sein, es gilt der Standardwert"},
        {"watch_volumes = '/mnt/nas'\n",
         "config.toml Zeile 5: Task „T“: watch_volumes muss eine Liste sein, z. B. [\"/mnt/nas\"]: "
         "der Task startet nicht, bis das behoben ist"},
        {"interval_minutes = 30\nwarn_hours = 1.5\nwatch_volumes = []\n", ""},
    };
    for (const Case& c : cases) {
        const AppConfig config =
            AppConfig::parse(QString::fromUtf8(task) + QString::fromUtf8(c.toml));
        EXPECT_EQ(config.warnings,
                  *c.warning ? QStringList{QString::fromUtf8(c.warning)} : QStringList{})
            << c.toml;
    }
    const AppConfig tables = AppConfig::parse(QStringLiteral(
        "stray = 1\n[general]\npoll_interval_secs = 5\n[task]\nname = 'x'\n[genral]\n"
        "[[tasks]]\n"));
    EXPECT_EQ(
        tables.warnings,
        (QStringList{QStringLiteral("config.toml Zeile 1: „stray“ steht vor jeder Tabelle und gilt "
                                    "nicht"),
                     QStringLiteral("config.toml Zeile 3: [general]: unbekannter Schlüssel "
                                    "„poll_interval_secs“"),
                     QStringLiteral("config.toml Zeile 4: [task] ist eine einfache Tabelle: für "
                                    "einen Task [[task]] schreiben"),
                     QStringLiteral("config.toml Zeile 6: unbekannte Tabelle [genral]"),
                     QStringLiteral("config.toml Zeile 7: unbekannte Tabelle [[tasks]]")}));

    const AppConfig weekly = AppConfig::parse(
        QStringLiteral("[[task]]\nname = 'W'\ntype = 'weekly'\nscript = 'w.sh'\nday = 'sonntag'\n"
                       "time = '25:00'\n[[task]]\nname = 'V'\ntype = 'weekly'\nscript = 'w.sh'\n"
                       "day = 'Friday'\ntime = '3:05'\n"));
    EXPECT_EQ(weekly.warnings,
              (QStringList{QStringLiteral("config.toml Zeile 5: Task „W“: day „sonntag“ ist kein "
                                          "Wochentag (monday … sunday): der Task wird nie fällig"),
                           QStringLiteral("config.toml Zeile 6: Task „W“: time „25:00“ ist keine "
                                          "Uhrzeit (HH:MM): der Task wird nie fällig")}));
}

TEST(AppConfig, AVolumeListWrittenAsTextHoldsTheTask) {
    const TaskConfig held = onlyTask("watch_volumes = '/mnt/nas'\n");
    ASSERT_TRUE(held.hold);
    EXPECT_TRUE(held.watchVolumes.isEmpty());
    EXPECT_FALSE(onlyTask("watch_volumes = ['/mnt/nas']\n").hold);
    // A list with a stray number keeps its folders: the task is not held, and
    // the warning does not say it is.
    const AppConfig mixed =
        AppConfig::parse(QStringLiteral("[[task]]\nname = 'T'\ntype = 'on_mount'\nscript = "
                                        "'s.sh'\nwatch_volumes = ['/mnt/nas', 3]\n"));
    EXPECT_FALSE(mixed.tasks.value(0).hold);
    EXPECT_EQ(mixed.tasks.value(0).watchVolumes, QStringList{QStringLiteral("/mnt/nas")});
    EXPECT_EQ(mixed.warnings,
              QStringList{QStringLiteral("config.toml Zeile 5: Task „T“: watch_volumes muss eine "
                                         "Liste von Texten sein, nur die Texte darin gelten")});
}

TEST(AppConfig, CrLfFileIsNamedBesideTheSyntaxError) {
    TempRepo repo;
    const QString file = repo.write(QStringLiteral("config.toml"),
                                    "[general]\r\nnotify = true\r\n[[task]]\r\nname = 'A'\r\n");
    try {
        AppConfig::load(file);
        FAIL() << "a CR before the line end breaks the header";
    } catch (const ConfigError& e) {
        EXPECT_EQ(e.description(), u"config.toml Zeile 1: ] fehlt");
        EXPECT_EQ(e.alsoFound, QStringList{QStringLiteral(
                                   "config.toml: Zeilenende CR LF: bitte als LF speichern")});
    }
}

TEST(AppConfig, RepositoryFromTheConfiguration) {
    TempRepo repo;
    const QString support = repo.root() + QStringLiteral("/support");
    const QStringList none{QStringLiteral("savewright")};
    const QString program = QStringLiteral("/proc/self/savewright-none");
    EXPECT_EQ(Paths::resolveRepo(none, program, support), Paths::defaultRepo());
    EXPECT_EQ(Paths::defaultRepo(), QDir::homePath() + QStringLiteral("/Savewright"));
    repo.write(QStringLiteral("support/config.toml"), "[general]\nrepo = '~/Sicherung'\n");
    EXPECT_EQ(Paths::resolveRepo(none, program, support),
              QDir::homePath() + QStringLiteral("/Sicherung"));
    repo.write(QStringLiteral("support/config.toml"), "[general]\nrepo = 'skripte'\n");
    EXPECT_EQ(Paths::resolveRepo(none, program, support), support + QStringLiteral("/skripte"));
    EXPECT_EQ(Paths::resolveRepo({QStringLiteral("savewright"), QStringLiteral("--repo"),
                                  QStringLiteral("/given")},
                                 program, support),
              u"/given");
    repo.write(QStringLiteral("support/config.toml"), "[general\nrepo = '/x'\n");
    EXPECT_EQ(Paths::resolveRepo(none, program, support), Paths::defaultRepo())
        << "a broken file names no repository";
}

TEST(AppConfig, AWatchedFolderThatGioNeverMountsIsNamedWithTheRightOne) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
    const AppConfig guide = AppConfig::parse(
        QStringLiteral("[[task]]\nname = 'Fotos'\ntype = 'on_mount'\nscript = 'f.sh'\n"
                       "watch_volumes = ['/mnt/nas']\nmount_url = 'smb://nas/fotos'\n"));
    EXPECT_EQ(
        guide.warnings,
        QStringList{QStringLiteral(
            "config.toml Zeile 5: Task „Fotos“: gio mount hängt smb://nas/fotos nicht unter "
            "/mnt/nas ein, sondern unter /run/user/1000/gvfs/smb-share:server=nas,share=fotos")});
    for (const char* fine :
         {"watch_volumes = ['/run/user/1000/gvfs/smb-share:server=nas,share=fotos/']\n"
          "mount_url = 'smb://nas/fotos'\n",
          "watch_volumes = ['/mnt/usb']\nmount_url = 'fstab'\n",
          "watch_volumes = ['/media/anna/USB']\n"})
        EXPECT_TRUE(onlyTask(fine).name == u"T" &&
                    AppConfig::parse(QStringLiteral("[[task]]\nname = 'T'\ntype = 'on_mount'\n"
                                                    "script = 's.sh'\n") +
                                     QString::fromUtf8(fine))
                        .warnings.isEmpty())
            << fine;
    qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST(AppConfig, ThousandsOfMistakesGiveAFewWarningsAndACount) {
    QString text = QStringLiteral("[[task]]\nname='A'\ntype='scheduled'\nscript='a.sh'\n");
    for (int i = 0; i < 16000; ++i)
        text += QStringLiteral("unbekannt_%1 = 1\n").arg(i);
    const AppConfig c = AppConfig::parse(text);
    ASSERT_EQ(c.warnings.size(), 21);
    EXPECT_TRUE(c.warnings[0].startsWith(u"config.toml Zeile 5: Task „A“: unbekannter Schlüssel"))
        << c.warnings[0].toStdString();
    EXPECT_EQ(c.warnings.last(), u"config.toml: 15980 weitere Hinweise");
}
