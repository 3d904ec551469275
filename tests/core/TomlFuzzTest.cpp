// Generated input: mutated and random configurations may only ever give a
// document or a TOMLError: no crash, no hang, no other exception.
#include "config/AppConfig.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Each seed in parentheses: written over lines, it is still one seed.
const char* const kSeeds[] = {
    ("[general]\npoll_interval_seconds = 30\nupdate_url = \"https://example.invalid/feed.json\"\n"
     "[[task]]\nname = \"Fotos NAS\"\ntype = \"on_mount\"\nscript = \"fotos.sh\"\n"
     "watch_volumes = [\n  \"/mnt/a\", # first\n  '/mnt/b',\n]\nmount_urls = ['smb://nas/a']\n"),
    ("[[task]]\nname = 'Weekly'\ntype = 'weekly'\nscript = 'w.sh'\nday = \"sunday\"\ntime = "
     "\"03:00\"\nmax_logs = 7.9\nwarn_hours = 1_000\nred_hours = -1e3\n"),
    "k = \"\\u00e9\\U0001F600\\t\\\"\"\n'a b' = [[1, 2], ['x', \"y\"], []]\nz = +inf\n",
};

const char kAlphabet[] = "[]\"'#=,\\_ \t\nuU0123456789abcdefxe.+-tr";

QString mutate(std::mt19937& rng, QString text) {
    std::uniform_int_distribution<int> op(0, 5);
    const int rounds = 1 + static_cast<int>(rng() % 6);
    for (int r = 0; r < rounds; ++r) {
        const qsizetype n = text.size();
        const qsizetype at = n ? static_cast<qsizetype>(rng() % n) : 0;
        switch (op(rng)) {
        case 0:
            text.insert(at, QChar(static_cast<char16_t>(u' ' + rng() % 95)));
            break;
        case 1:
            text.insert(at, QLatin1Char(kAlphabet[rng() % (sizeof kAlphabet - 1)]));
            break;
        case 2:
            if (n) text.remove(at, 1 + rng() % 8);
            break;
        case 3:
            if (n) text.insert(at, text.mid(rng() % n, rng() % 40));
            break;
        case 4:
            text.truncate(at);
            break;
        case 5:
            text.insert(at, QChar(static_cast<char16_t>(rng() % 0x10000)));
            break;
        }
    }
    return text;
}

QString random(std::mt19937& rng) {
    QString text;
    const int length = static_cast<int>(rng() % 200);
    for (int i = 0; i < length; ++i)
        text += QLatin1Char(kAlphabet[rng() % (sizeof kAlphabet - 1)]);
    return text;
}

} // namespace

TEST(TomlFuzz, HundredThousandInputsGiveADocumentOrAnError) {
    std::mt19937 rng(20261208);
    int documents = 0, errors = 0;
    for (int i = 0; i < 100000; ++i) {
        const QString text =
            i % 4 == 3 ? random(rng) : mutate(rng, QString::fromUtf8(kSeeds[i % 3]));
        try {
            AppConfig::parse(text);
            ++documents;
        } catch (const TOMLError& e) {
            ASSERT_FALSE(e.message.isEmpty());
            ASSERT_GE(e.line, 0);
            ++errors;
        }
    }
    // Both outcomes must be exercised for the run to mean anything.
    EXPECT_GT(documents, 1000);
    EXPECT_GT(errors, 1000);
}

TEST(TomlFuzz, LongInputsStayLinear) {
    // A long multi-line list and a long line of brackets inside strings.
    QString list = QStringLiteral("v = [\n");
    for (int i = 0; i < 200000; ++i)
        list += QStringLiteral("  'x%1',\n").arg(i);
    list += u']';
    EXPECT_EQ(
        TOML::parse(list).tables.value(QString()).value(QStringLiteral("v")).stringArray()->size(),
        200000);
    const QString unclosed = QStringLiteral("v = [\n") + QString(400000, u'\n');
    EXPECT_THROW(TOML::parse(unclosed), TOMLError);
}
