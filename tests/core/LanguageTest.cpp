// Which language a person reads, and the English texts beside the German ones.
#include "base/Language.h"
#include "config/AppConfig.h"
#include "execution/TaskRunner.h"
#include "records/RelativeTime.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Sets the locale variables for one case and puts the old ones back.
class Locale {
  public:
    Locale(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const char* name : kNames) {
            saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qunsetenv(name);
        }
        for (const auto& [name, value] : values)
            qputenv(name, value);
    }
    ~Locale() {
        for (const auto& s : saved_)
            s.set ? qputenv(s.name, s.value) : qunsetenv(s.name);
    }

  private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QList<Saved> saved_;
};

// Every case switches to the language it needs and back to German at its end.
class Texts : public ::testing::Test {
  protected:
    void TearDown() override { Language::choose(u"de"_s); }
};

} // namespace

TEST(LanguageChoice, FollowsTheLocaleAsGettextReadsIt) {
    const QString German = u"de"_s, English = u"en"_s;
    const struct {
        std::initializer_list<std::pair<const char*, const char*>> env;
        QString wanted;
    } cases[] = {
        {{}, German},
        {{{"LANG", "C"}}, German},
        {{{"LANG", "C.UTF-8"}}, German},
        {{{"LANG", "POSIX"}}, German},
        {{{"LANG", "de_DE.UTF-8"}}, German},
        {{{"LANG", "de_AT@euro"}}, German},
        {{{"LANG", "en_US.UTF-8"}}, English},
        {{{"LANG", "fr_FR.UTF-8"}}, English},
        {{{"LANG", "dev_XX"}}, English},
        // LC_ALL before LC_MESSAGES before LANG.
        {{{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}},
         English},
        {{{"LC_MESSAGES", "de_CH.UTF-8"}, {"LANG", "en_US.UTF-8"}}, German},
        // LANGUAGE's first language with a translation, unless the locale is C.
        {{{"LANGUAGE", "en"}, {"LANG", "de_DE.UTF-8"}}, English},
        {{{"LANGUAGE", "fr:de"}, {"LANG", "en_US.UTF-8"}}, German},
        {{{"LANGUAGE", "fr:it"}, {"LANG", "de_DE.UTF-8"}}, German},
        {{{"LANGUAGE", "fr"}, {"LANG", "es_ES.UTF-8"}}, English},
        {{{"LANGUAGE", "en"}, {"LANG", "C.UTF-8"}}, German},
        {{{"LANGUAGE", "en"}, {"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}, German},
    };
    for (const auto& c : cases) {
        const Locale locale(c.env);
        EXPECT_EQ(Language::fromEnvironment(), c.wanted)
            << qgetenv("LANGUAGE").constData() << " / " << qgetenv("LC_ALL").constData() << " / "
            << qgetenv("LC_MESSAGES").constData() << " / " << qgetenv("LANG").constData();
    }
    EXPECT_EQ(Language::available(), (QStringList{German, English}));
    EXPECT_EQ(Language::fromWord(u"de"), German);
    EXPECT_EQ(Language::fromWord(u"en"), English);
    EXPECT_EQ(Language::fromWord(u"fr"), std::nullopt);
    EXPECT_EQ(Language::fromWord(u"EN"), std::nullopt);
    EXPECT_EQ(Language::fromWord(u""), std::nullopt);
}

TEST_F(Texts, TimesInBothLanguagesWithTheirPluralForms) {
    const QDateTime now =
        QDateTime::fromString(QStringLiteral("2026-12-09T12:00:00Z"), Qt::ISODate);
    const auto ago = [&](qint64 minutes) {
        return RelativeTime::text(now.addSecs(-60 * minutes), now);
    };
    const QStringList german{ago(0), ago(5), ago(300), ago(3 * 1440), RelativeTime::text({}, now)};
    EXPECT_EQ(german, (QStringList{u"gerade eben"_s, u"vor 5 Min."_s, u"vor 5 Std."_s,
                                   u"vor 3 Tagen"_s, u"nie"_s}));
    Language::choose(u"en"_s);
    EXPECT_EQ(
        (QStringList{ago(0), ago(5), ago(300), ago(3 * 1440), RelativeTime::text({}, now)}),
        (QStringList{u"just now"_s, u"5 min ago"_s, u"5 h ago"_s, u"3 days ago"_s, u"never"_s}));
    EXPECT_EQ(RelativeTime::ahead(now.addSecs(600), now), u"in 10 min"_s);
    EXPECT_EQ(Language::translate("RelativeTime", "vor %n Tagen", nullptr, 1), u"1 day ago"_s);
    // A text no translation knows stays as it is.
    EXPECT_EQ(Language::translate("Nowhere", "ungekannt %n", nullptr, 4), u"ungekannt 4"_s);
}

TEST_F(Texts, ARunsOwnMessagesAreShownInTheLanguageTheLogKeepsThemIn) {
    const QString byHand =
        QStringLiteral("Abgebrochen: ") + QString::fromUtf8(TaskRunner::kStoppedByHand);
    const QStringList logged{byHand, QStringLiteral("Ein früherer Lauf läuft noch"),
                             QStringLiteral("Script exited with code 23"),
                             QStringLiteral("Abgebrochen: etwas anderes")};
    QStringList german;
    for (const QString& m : logged)
        german.append(TaskRunner::shown(m));
    EXPECT_EQ(german, logged);
    Language::choose(u"en"_s);
    QStringList english;
    for (const QString& m : logged)
        english.append(TaskRunner::shown(m));
    EXPECT_EQ(english,
              (QStringList{u"Cancelled: stopped by hand"_s, u"An earlier run is still going"_s,
                           u"Script exited with code 23"_s, u"Cancelled: etwas anderes"_s}));
}

TEST_F(Texts, ConfigurationMistakesAndTheLanguageKey) {
    const char* toml = "[general]\nlanguage = 'fr'\nlaguage = 'en'\n";
    EXPECT_EQ(
        AppConfig::parse(QString::fromUtf8(toml)).warnings,
        (QStringList{u"config.toml Zeile 2: [general]: language „fr“ gibt es nicht (nur de, en), "
                     "es gilt die Sprache der Umgebung"_s,
                     u"config.toml Zeile 3: [general]: unbekannter Schlüssel „laguage“"_s}));
    EXPECT_EQ(AppConfig::parse(QStringLiteral("[general]\nlanguage = 'en'\n")).language, u"en"_s);
    EXPECT_TRUE(
        AppConfig::parse(QStringLiteral("[general]\nlanguage = 'en'\n")).warnings.isEmpty());
    Language::choose(u"en"_s);
    EXPECT_EQ(
        AppConfig::parse(QString::fromUtf8(toml)).warnings,
        (QStringList{u"config.toml line 2: [general]: there is no language “fr” (only de, en), "
                     "the environment's language applies"_s,
                     u"config.toml line 3: [general]: unknown key “laguage”"_s}));
    try {
        AppConfig::parse(QStringLiteral("[[task]]\nname = 'A'\nx = \n"));
        ADD_FAILURE() << "a value was missing";
    } catch (const TOMLError& e) {
        EXPECT_EQ(e.description(), u"config.toml line 3: value missing"_s);
    }
}
