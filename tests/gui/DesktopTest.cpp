// The real program on a real X desktop of the test's own: Xvfb, openbox, a
// session bus and trayer as the tray host, driven with xdotool and looked at
// through screenshots (in the test's folder, or in $SAVEWRIGHT_TEST_SHOTS).
#include "engine/Engine.h"
#include "support/PrivateBus.h"
#include "support/ProgramEnvironment.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

QString str(const char* s) {
    return QString::fromUtf8(s);
}
QString str(const QString& s) {
    return s;
}
template <typename... A> QStringList args(const A&... a) {
    return {str(a)...};
}

bool waitFor(const std::function<bool()>& condition, int ms) {
    for (int waited = 0; !condition(); waited += 100) {
        if (waited > ms) return false;
        QThread::msleep(100);
    }
    return true;
}

struct Window {
    QString id;
    int x = 0, y = 0, width = 0, height = 0;
};

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "import"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
        ASSERT_TRUE(bus.ok());
        std::mt19937 random(std::random_device{}());
        do
            display = QStringLiteral(":%1").arg(200 + random() % 500);
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + display.mid(1)));
        env = programEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        start(xvfb, "Xvfb", args(display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"));
        ASSERT_TRUE(waitFor(
            [&] { return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + display.mid(1)); },
            10000));
        start(wm, "openbox", args());
        QThread::msleep(300);
        writeConfig("[[task]]\nname = 'Fotos'\ntype = 'external'\nscript = 'f.sh'\n"
                    "[[task]]\nname = 'Musik'\ntype = 'external'\nscript = 'm.sh'\n");
    }
    void TearDown() override {
        for (QProcess* p : {&program, &tray, &wm, &xvfb}) {
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(2000);
        }
    }
    void start(QProcess& p, const char* tool, const QStringList& arguments) {
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QString::fromLatin1(tool), arguments);
        ASSERT_TRUE(p.waitForStarted()) << tool;
    }
    void startTray(const char* tint, const char* edge = "top") {
        // Reserving no screen space, as many bottom panels do.
        start(tray, "trayer",
              args("--edge", edge, "--align", "right", "--widthtype", "request", "--height", "24",
                   "--transparent", "true", "--alpha", "0", "--tint", tint, "--SetPartialStrut",
                   "false", "--SetDockType", "true"));
    }
    // The support folder is the user's own (in the temp HOME): a start with
    // --support would be a copy of its own, beside the running one.
    QStringList roots() const {
        return {QStringLiteral("--repo"), repo.root() + QStringLiteral("/repo")};
    }
    void writeConfig(const QByteArray& toml) {
        const QString folder =
            env.value(QStringLiteral("XDG_DATA_HOME")) + QStringLiteral("/Ferrymat");
        QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/config.toml"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(toml);
    }
    QString run(const char* tool, const QStringList& arguments) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QString::fromLatin1(tool), arguments);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The program's windows by size: the panel is 380 wide, the icon small.
    QList<Window> windows(bool icon) {
        static const QRegularExpression line(QStringLiteral(
            R"re((0x[0-9a-f]+) "Savewright": \("savewright" "Savewright"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
        QList<Window> found;
        for (const auto& m : line.globalMatch(run("xwininfo", args("-root", "-tree")))) {
            const Window w{m.captured(1), m.captured(4).toInt(), m.captured(5).toInt(),
                           m.captured(2).toInt(), m.captured(3).toInt()};
            if (!run("xwininfo", args("-id", w.id)).contains(u"IsViewable")) continue;
            if ((icon && w.width < 64) || (!icon && w.width == 380)) found.append(w);
        }
        return found;
    }
    // Only shown windows count: a hidden panel keeps its X window.
    std::optional<Window> panel() {
        const QList<Window> shown = windows(false);
        if (shown.isEmpty()) return std::nullopt;
        return shown.first();
    }
    QImage screenshot(const QString& name) {
        // SAVEWRIGHT_TEST_SHOTS keeps them where a person can look at them.
        const QString folder = qEnvironmentVariable("SAVEWRIGHT_TEST_SHOTS", repo.root());
        const QString path = folder + u'/' + name + QStringLiteral(".png");
        run("import", args("-window", "root", path));
        return QImage(path);
    }
    PrivateBus bus;
    TempRepo repo;
    QString display;
    QProcessEnvironment env;
    QProcess xvfb, wm, tray, program;
};

double luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The best contrast any pixel of the icon reaches against the tray beside it.
double iconContrast(const QImage& shot, const Window& icon) {
    const QRgb background = shot.pixel(icon.x - 2, icon.y + icon.height / 2);
    double best = 1;
    for (int y = icon.y; y < icon.y + icon.height; ++y)
        for (int x = icon.x; x < icon.x + icon.width; ++x)
            best = std::max(best, contrast(shot.pixel(x, y), background));
    return best;
}

} // namespace

// No tray at start: the panel is a window. A tray started later shows the icon,
// a click on it closes and opens the panel as its drop-down, and a second start
// shows the panel of the running copy and ends.
TEST_F(Desktop, ATrayThatStartsLateGetsTheIconAndASecondStartShowsThePanel) {
    start(program, SAVEWRIGHT_BINARY, roots());
    ASSERT_TRUE(waitFor([&] { return panel().has_value(); }, 15000)) << "a window without a tray";
    EXPECT_TRUE(windows(true).isEmpty());
    startTray("0x2f2f2f");
    ASSERT_TRUE(waitFor([&] { return !windows(true).isEmpty(); }, 15000)) << "icon after the tray";
    const Window icon = windows(true).first();
    screenshot(QStringLiteral("late-tray"));

    const auto click = [&] {
        run("xdotool", args("mousemove", QString::number(icon.x + icon.width / 2),
                            QString::number(icon.y + icon.height / 2), "click", "1"));
    };
    click();
    ASSERT_TRUE(waitFor([&] { return !panel(); }, 5000)) << "the click closes the window";
    QThread::msleep(500);
    click();
    ASSERT_TRUE(waitFor([&] { return panel().has_value(); }, 5000));
    const Window dropDown = *panel();
    EXPECT_GE(dropDown.y, icon.y + icon.height) << "below the icon";
    EXPECT_LE(dropDown.y, icon.y + icon.height + 10);
    EXPECT_GE(dropDown.x + dropDown.width, icon.x) << "beside the icon";
    screenshot(QStringLiteral("drop-down"));
    click();
    ASSERT_TRUE(waitFor([&] { return !panel(); }, 5000));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(SAVEWRIGHT_BINARY), roots());
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return panel().has_value(); }, 5000)) << "shown by the second start";
    EXPECT_EQ(program.state(), QProcess::Running);
}

// The symbol reaches 3:1 against the tray's own background, dark or light.
TEST_F(Desktop, TheIconIsReadableOnADarkAndALightTray) {
    for (const char* tint : {"0x2f2f2f", "0xf2f2f2"}) {
        startTray(tint);
        if (program.state() == QProcess::NotRunning) start(program, SAVEWRIGHT_BINARY, roots());
        ASSERT_TRUE(waitFor([&] { return !windows(true).isEmpty(); }, 15000)) << tint;
        QThread::msleep(1000); // drawn
        const QImage shot = screenshot(QStringLiteral("tray-") + QLatin1String(tint));
        EXPECT_GE(iconContrast(shot, windows(true).first()), 3.0) << tint;
        tray.terminate();
        tray.waitForFinished(5000);
        ASSERT_TRUE(waitFor([&] { return windows(true).isEmpty(); }, 10000));
    }
}

// A row's menu open while the row goes away (its task removed by a reload):
// the menu closes with it, the program lives on.
TEST_F(Desktop, ARowThatGoesAwayUnderItsOpenMenuCrashesNothing) {
    startTray("0x2f2f2f");
    start(program, SAVEWRIGHT_BINARY, roots());
    ASSERT_TRUE(waitFor([&] { return !windows(true).isEmpty(); }, 15000));
    const Window icon = windows(true).first();
    run("xdotool",
        args("mousemove", QString::number(icon.x + 5), QString::number(icon.y + 5), "click", "1"));
    ASSERT_TRUE(waitFor([&] { return panel().has_value(); }, 5000));
    const Window p = *panel();
    // The last row sits above the footer; its menu opens with the right button.
    run("xdotool", args("mousemove", QString::number(p.x + 150),
                        QString::number(p.y + p.height - 60), "click", "3"));
    QThread::msleep(500);
    screenshot(QStringLiteral("menu-open"));
    writeConfig("[[task]]\nname = 'Fotos'\ntype = 'external'\nscript = 'f.sh'\n");
    QThread::msleep(7000); // the next config check reloads it
    EXPECT_EQ(program.state(), QProcess::Running);
    const std::optional<Window> after = panel();
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(p.height - after->height, 28) << "one row less, the other row whole";
    screenshot(QStringLiteral("after-reload"));
}

// 48 tasks and a tray at the bottom that reserves no space: the tall panel
// opens above its icon and stays there when its count line wraps; "Beenden"
// asks while a run is under way.
TEST_F(Desktop, ATallPanelNeverCoversItsIconAndQuittingAsksDuringARun) {
    QByteArray toml;
    for (int i = 1; i <= 48; ++i)
        toml += "[[task]]\nname = 'Aufgabe " + QByteArray::number(i) +
                "'\ntype = 'external'\nscript = 's.sh'\ngroup = 'G" + QByteArray::number(i % 4) +
                "'\n";
    toml += "[[task]]\nname = 'Lang'\ntype = 'scheduled'\nscript = 'lang.sh'\n";
    writeConfig(toml);
    repo.script(QStringLiteral("lang.sh"), "sleep 60\n");
    startTray("0x2f2f2f", "bottom");
    start(program, SAVEWRIGHT_BINARY, roots());
    ASSERT_TRUE(waitFor([&] { return !windows(true).isEmpty(); }, 15000));
    const Window icon = windows(true).first();
    const QRect iconRect(icon.x, icon.y, icon.width, icon.height);
    run("xdotool", args("mousemove", QString::number(icon.x + icon.width / 2),
                        QString::number(icon.y + icon.height / 2), "click", "1"));
    ASSERT_TRUE(waitFor([&] { return panel().has_value(); }, 5000));
    const auto covers = [&](const Window& w) {
        return QRect(w.x, w.y, w.width, w.height).intersects(iconRect);
    };
    EXPECT_FALSE(covers(*panel()));
    EXPECT_LE(panel()->y + panel()->height, icon.y) << "above the icon";
    // Paused, the count line takes a second line: the panel grows upwards.
    const Window open = *panel();
    run("xdotool", args("mousemove", QString::number(open.x + open.width - 61),
                        QString::number(open.y + 27), "click", "1"));
    QThread::msleep(800);
    screenshot(QStringLiteral("tall-paused"));
    ASSERT_TRUE(panel().has_value());
    EXPECT_FALSE(covers(*panel()));

    // "Beenden" (the footer's right end) asks while "Lang" runs; the program stays.
    const Window now = *panel();
    run("xdotool", args("mousemove", QString::number(now.x + now.width - 40),
                        QString::number(now.y + now.height - 20), "click", "1"));
    ASSERT_TRUE(waitFor(
        [&] { return run("xwininfo", args("-root", "-tree")).contains(u"\"Savewright beenden\""); },
        5000));
    screenshot(QStringLiteral("quit-question"));
    EXPECT_EQ(program.state(), QProcess::Running);
}

// The icon's right-click menu turns starting at login on, as a person does it.
TEST_F(Desktop, TheIconsMenuTurnsStartingAtLoginOn) {
    startTray("0x2f2f2f");
    start(program, SAVEWRIGHT_BINARY, roots());
    ASSERT_TRUE(waitFor([&] { return !windows(true).isEmpty(); }, 15000));
    const Window icon = windows(true).first();
    run("xdotool", args("mousemove", QString::number(icon.x + icon.width / 2),
                        QString::number(icon.y + icon.height / 2), "click", "3"));
    // The menu: a small window of the program's below the icon, not the panel.
    std::optional<Window> menu;
    ASSERT_TRUE(waitFor(
        [&] {
            const QString tree = run("xwininfo", args("-root", "-tree"));
            static const QRegularExpression line(QStringLiteral(
                R"re(0x[0-9a-f]+ (?:"[^"]*")?: \("savewright" "Savewright"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re"));
            for (const auto& m : line.globalMatch(tree)) {
                const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
                if (w > 100 && w != 380 && h > 50 && h < 200)
                    menu = Window{QString(), m.captured(3).toInt(), m.captured(4).toInt(), w, h};
            }
            return menu.has_value();
        },
        5000));
    screenshot(QStringLiteral("tray-menu"));
    EXPECT_FALSE(panel().has_value()) << "a right click opens the menu, not the panel";
    // Its second item.
    const QString autostart = env.value(QStringLiteral("XDG_CONFIG_HOME")) +
                              QStringLiteral("/autostart/org.savewright.Savewright.desktop");
    const int itemHeight = (menu->height - 10) / 3;
    run("xdotool", args("mousemove", QString::number(menu->x + 40),
                        QString::number(menu->y + 5 + itemHeight + itemHeight / 2), "click", "1"));
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(autostart); }, 5000));
    EXPECT_TRUE(QString::fromUtf8(TempRepo::read(autostart)).contains(u"--repo"));
}

// On a Wayland compositor (weston, headless) without a tray: the panel opens as
// a window, a second start shows it and ends, and nothing X11-only is tried.
TEST(WaylandDesktop, WithoutATrayThePanelIsAWindowAndASecondStartShowsIt) {
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty() ||
        !QFileInfo::exists(
            QStringLiteral(SAVEWRIGHT_QT_PLUGINS "/platforms/libqwayland-generic.so")))
        GTEST_SKIP() << "weston or Qt's Wayland platform is not installed";
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    TempRepo repo;
    QProcessEnvironment env = programEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("savewright-test"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    QProcess weston;
    weston.setProcessEnvironment(env);
    weston.setStandardOutputFile(QProcess::nullDevice());
    weston.setStandardErrorFile(QProcess::nullDevice());
    weston.start(QStringLiteral("weston"), args("--backend=headless-backend.so",
                                                "--socket=savewright-test", "--idle-time=0"));
    const QString socket =
        env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/savewright-test");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(socket); }, 10000));
    const QString support =
        env.value(QStringLiteral("XDG_DATA_HOME")) + QStringLiteral("/Ferrymat");
    QDir().mkpath(support);
    repo.write(QStringLiteral("config.toml"),
               "[[task]]\nname = 'Fotos'\ntype = 'external'\nscript = 'f.sh'\n");
    QFile::copy(repo.root() + QStringLiteral("/config.toml"),
                support + QStringLiteral("/config.toml"));
    const QStringList roots{QStringLiteral("--repo"), repo.root() + QStringLiteral("/repo")};

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SAVEWRIGHT_BINARY), roots);
    ASSERT_TRUE(program.waitForStarted());
    QThread::msleep(3000);
    ASSERT_EQ(program.state(), QProcess::Running);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(SAVEWRIGHT_BINARY), roots);
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0) << "the running copy showed its panel";
    QThread::msleep(1000);
    EXPECT_EQ(program.state(), QProcess::Running);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    const QString said = QString::fromUtf8(program.readAllStandardError());
    EXPECT_FALSE(said.contains(u"systemTrayWindowChanged")) << said.toStdString();
    EXPECT_FALSE(said.contains(u"wl_")) << "no protocol error: " << said.toStdString();
    weston.terminate();
    weston.waitForFinished(5000);
}
