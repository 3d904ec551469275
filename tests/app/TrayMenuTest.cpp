// The tray icon's menu and the login entry it writes.
#include "widgets/TrayMenu.h"
#include "shell/Autostart.h"
#include "support/EngineFixture.h"
#include "widgets/PanelView.h"

#include <QMenu>

namespace {

// The tests' settings folders are Qt's test folders, never the person's own.
using TrayMenuTest = EngineFixture;

QString line(const QString& file, const QString& key) {
    return QString::fromUtf8(TempRepo::read(file)).split(u'\n').filter(key + u'=').value(0);
}

QAction* action(QMenu& menu, const char* text) {
    for (QAction* a : menu.actions())
        if (a->text() == QString::fromUtf8(text)) return a;
    return nullptr;
}

} // namespace

TEST_F(TrayMenuTest, StartAtLoginWritesAndRemovesTheEntry) {
    auto e = makeEngine();
    PanelView panel(e.get(), false);
    int shown = 0;
    const QString program = QStringLiteral("/opt/My Apps/savewright");
    std::unique_ptr<QMenu> menu(
        TrayMenu::make(&panel, [&] { ++shown; }, program,
                       {program, QStringLiteral("--repo"), QStringLiteral("/home/u/Meine Skripte"),
                        QStringLiteral("--observe")}));
    ASSERT_TRUE(action(*menu, "Panel zeigen") && action(*menu, "Beenden"));
    action(*menu, "Panel zeigen")->trigger();
    EXPECT_EQ(shown, 1);

    QAction* login = action(*menu, "Beim Anmelden starten");
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(Autostart::path().endsWith(u"/autostart/org.savewright.Savewright.desktop"));
    QFile::remove(Autostart::path());
    emit menu->aboutToShow();
    EXPECT_FALSE(login->isChecked());
    login->trigger();
    ASSERT_TRUE(QFileInfo::exists(Autostart::path()));
    // The program and its repository, one argument each; --observe is not a root.
    EXPECT_EQ(line(Autostart::path(), QStringLiteral("Exec")),
              u"Exec=\"/opt/My Apps/savewright\" --repo \"/home/u/Meine Skripte\"");
    EXPECT_EQ(line(Autostart::path(), QStringLiteral("X-GNOME-Autostart-enabled")),
              u"X-GNOME-Autostart-enabled=true");

    // Removed by hand meanwhile: the menu shows the truth when it opens.
    QFile::remove(Autostart::path());
    emit menu->aboutToShow();
    EXPECT_FALSE(login->isChecked());
    login->trigger();
    EXPECT_TRUE(QFileInfo::exists(Autostart::path()));
    login->trigger();
    EXPECT_FALSE(QFileInfo::exists(Autostart::path()));
}

TEST(AutostartEntry, ArgumentsAreQuotedAsTheExecKeyAsks) {
    const QString exec =
        Autostart::entry(QStringLiteral("/usr/bin/savewright"),
                         {QStringLiteral("--repo"), QStringLiteral("/a \"b\" $c\\d 100%")})
            .split(u'\n')
            .filter(QStringLiteral("Exec="))
            .value(0);
    // Escaped for the Exec key (\" \$ \\), then backslashes once more for the
    // desktop entry's strings; a percent sign doubled.
    EXPECT_EQ(exec, QStringLiteral("Exec=/usr/bin/savewright --repo "
                                   "\"/a \\\\\"b\\\\\" \\\\$c\\\\\\\\d 100%%\""));
}
