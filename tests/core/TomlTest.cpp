#include "config/Toml.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TOMLDocument parse(const char* text) {
    return TOML::parse(QString::fromUtf8(text));
}

// The error's printed form, or "" when the text parses.
QString errorOf(const char* text) {
    try {
        TOML::parse(QString::fromUtf8(text));
    } catch (const TOMLError& e) {
        return e.description();
    }
    return {};
}

TOMLValue top(const char* text, const char* key) {
    return parse(text).tables.value(QString()).value(QString::fromLatin1(key), TOMLValue(false));
}

} // namespace

TEST(Toml, EmptyAndCommentOnlyFilesGiveAnEmptyDocument) {
    EXPECT_EQ(parse(""), TOMLDocument{});
    const TOMLDocument d = parse("# only a comment\n\n   \t\n# another");
    EXPECT_TRUE(d.tables.isEmpty());
    EXPECT_TRUE(d.arrays.isEmpty());
}

TEST(Toml, QuotesCommentsAndEscapes) {
    EXPECT_EQ(top("a = \"x # y\" # comment", "a"), TOMLValue(QStringLiteral("x # y")));
    EXPECT_EQ(top(R"(a = "say \"hi\" # not a comment" # real)", "a"),
              TOMLValue(QStringLiteral("say \"hi\" # not a comment")));
    EXPECT_EQ(top(R"(a = 'C:\path\n' # c)", "a"), TOMLValue(QStringLiteral("C:\\path\\n")));
    EXPECT_EQ(top(R"(a = "t\tn\nr\rq\"b\\")", "a"), TOMLValue(QStringLiteral("t\tn\nr\rq\"b\\")));
    EXPECT_EQ(top(R"(a = "\u00e9\U0001F600")", "a"), TOMLValue(QStringLiteral("é😀")));
    EXPECT_EQ(top(R"(a = "\u+041")", "a"), TOMLValue(QStringLiteral("A")));
    EXPECT_EQ(top("'quoted key' = 1", "quoted key"), TOMLValue(qint64(1)));
    EXPECT_EQ(top("a.b = 1", "a.b"), TOMLValue(qint64(1)));
}

TEST(Toml, NumbersAtThe64BitEdge) {
    EXPECT_EQ(top("n = 1_000", "n"), TOMLValue(qint64(1000)));
    EXPECT_EQ(top("n = 9223372036854775807", "n"), TOMLValue(qint64(9223372036854775807LL)));
    EXPECT_EQ(top("n = -9223372036854775808", "n").intValue(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(top("n = 9223372036854775808", "n").kind(), TOMLValue::Kind::Double);
    EXPECT_EQ(top("n = +7", "n"), TOMLValue(qint64(7)));
    EXPECT_EQ(top("n = 1.5e3", "n"), TOMLValue(1500.0));
    EXPECT_EQ(top("n = 0x10", "n"), TOMLValue(16.0));
    EXPECT_TRUE(std::isinf(*top("n = inf", "n").doubleValue()));
    EXPECT_TRUE(std::isnan(*top("n = nan", "n").doubleValue()));
    EXPECT_EQ(top("b = true", "b"), TOMLValue(true));
    EXPECT_THROW(parse("b = True"), TOMLError);
}

TEST(Toml, TypedAccessors) {
    EXPECT_EQ(TOMLValue(7.9).intValue(), 7);
    EXPECT_EQ(TOMLValue(-7.9).intValue(), -7);
    EXPECT_EQ(TOMLValue(qint64(3)).doubleValue(), 3.0);
    EXPECT_FALSE(TOMLValue(std::nan("")).intValue());
    EXPECT_FALSE(TOMLValue(HUGE_VAL).intValue());
    EXPECT_FALSE(TOMLValue(9.3e18).intValue());
    EXPECT_FALSE(TOMLValue(QStringLiteral("1")).intValue());
    EXPECT_FALSE(TOMLValue(qint64(1)).boolValue());
    EXPECT_FALSE(TOMLValue(true).string());
    const TOMLValue mixed = top(R"(a = ["a", 1, ["b"], "c"])", "a");
    EXPECT_EQ(mixed.stringArray(), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(top("a = []", "a").stringArray(), QStringList());
    EXPECT_FALSE(TOMLValue(QStringLiteral("x")).stringArray());
}

TEST(Toml, MultiLineArraysWithCommentsAndTrailingComma) {
    const TOMLDocument d = parse("[t]\nv = [\n  'a', # first\n\n  # nothing\n  \"b]\",\n]\nw = 2");
    const TOMLTable t = d.tables.value(QStringLiteral("t"));
    EXPECT_EQ(t.value(QStringLiteral("v")),
              TOMLValue(TOMLValue::Array{TOMLValue(QStringLiteral("a")),
                                         TOMLValue(QStringLiteral("b]"))}));
    EXPECT_EQ(t.value(QStringLiteral("w")), TOMLValue(qint64(2)));
    EXPECT_EQ(errorOf("x = 1\nv = [\n 1,\n 2\n"), u"config.toml Zeile 2: Liste nicht geschlossen");
}

TEST(Toml, TablesArraysAndOverwrites) {
    const TOMLDocument d =
        parse("top = 1\n[general]\na = 1\na = 2\n[[task]]\nname = 'x'\n[[task]]\nname = 'y'\n"
              "[general]\nb = 3\n[[ empty ]]\n");
    EXPECT_EQ(d.tables.value(QString()).value(QStringLiteral("top")), TOMLValue(qint64(1)));
    EXPECT_EQ(d.tables.value(QStringLiteral("general")).value(QStringLiteral("a")),
              TOMLValue(qint64(2)));
    EXPECT_EQ(d.tables.value(QStringLiteral("general")).value(QStringLiteral("b")),
              TOMLValue(qint64(3)));
    ASSERT_EQ(d.arrays.value(QStringLiteral("task")).size(), 2);
    EXPECT_EQ(d.arrays.value(QStringLiteral("task"))[1].value(QStringLiteral("name")),
              TOMLValue(QStringLiteral("y")));
    EXPECT_EQ(d.arrays.value(QStringLiteral("empty")).size(), 1);
    // Keys before any header win over a "[]" table.
    const TOMLDocument e = parse("k = 1\n[]\nj = 2");
    EXPECT_TRUE(e.tables.value(QString()).contains(QStringLiteral("k")));
    EXPECT_FALSE(e.tables.value(QString()).contains(QStringLiteral("j")));
}

TEST(Toml, EveryMessageWithItsLine) {
    EXPECT_EQ(errorOf("\n[[task]\n"), u"config.toml Zeile 2: ] ] fehlt");
    EXPECT_EQ(errorOf("[general\n"), u"config.toml Zeile 1: ] fehlt");
    EXPECT_EQ(errorOf("[general]\r\na = 1\r\n"), u"config.toml Zeile 1: ] fehlt");
    EXPECT_EQ(errorOf("a\n"), u"config.toml Zeile 1: „=“ fehlt");
    EXPECT_EQ(errorOf("key =   "), u"config.toml Zeile 1: Wert fehlt");
    EXPECT_EQ(errorOf("key = 1 2"), u"config.toml Zeile 1: unerwartete Zeichen nach dem Wert");
    EXPECT_EQ(errorOf("k = \"\"\"x\"\"\""),
              u"config.toml Zeile 1: unerwartete Zeichen nach dem Wert");
    EXPECT_EQ(errorOf("k = \"open"), u"config.toml Zeile 1: String nicht geschlossen");
    EXPECT_EQ(errorOf("k = \"ends in \\"), u"config.toml Zeile 1: String nicht geschlossen");
    EXPECT_EQ(errorOf("k = 'open"), u"config.toml Zeile 1: String nicht geschlossen");
    EXPECT_EQ(errorOf(R"(k = "\x")"), u"config.toml Zeile 1: unbekanntes Escape \\x");
    // A character beyond the BMP is named whole, not as a lone surrogate.
    EXPECT_EQ(errorOf("k = \"a\\😀\""),
              QStringLiteral("config.toml Zeile 1: unbekanntes Escape \\😀"));
    EXPECT_EQ(errorOf(R"(k = "\u12")"), u"config.toml Zeile 1: ungültiges \\u-Escape");
    EXPECT_EQ(errorOf(R"(k = "\uD800")"), u"config.toml Zeile 1: ungültiges \\u-Escape");
    EXPECT_EQ(errorOf(R"(k = "\U00110000")"), u"config.toml Zeile 1: ungültiges \\U-Escape");
    EXPECT_EQ(errorOf(R"(k = "\u-001")"), u"config.toml Zeile 1: ungültiges \\u-Escape");
    EXPECT_EQ(errorOf("k = [1 2]"), u"config.toml Zeile 1: „,“ oder „]“ erwartet");
    EXPECT_EQ(errorOf("k = [1,"), u"config.toml Zeile 1: Liste nicht geschlossen");
    EXPECT_EQ(errorOf("v = 03:00"), u"config.toml Zeile 1: unbekannter Wert „03:00“");
    EXPECT_EQ(errorOf("v = 1_x"), u"config.toml Zeile 1: unbekannter Wert „1_x“");
    EXPECT_EQ(errorOf("v = [,]"), u"config.toml Zeile 1: unbekannter Wert „“");
    EXPECT_EQ(errorOf("v = { a = 1 }"), u"config.toml Zeile 1: unbekannter Wert „{“");
}

TEST(Toml, NestingTooDeepIsAnErrorNotACrash) {
    const QString deep = QStringLiteral("a = ") + QString(100000, u'[') + QString(100000, u']');
    EXPECT_THROW(TOML::parse(deep), TOMLError);
    const QString fine = QStringLiteral("a = ") + QString(50, u'[') + QString(50, u']');
    EXPECT_NO_THROW(TOML::parse(fine));
}
