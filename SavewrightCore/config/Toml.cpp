#include "Toml.h"

#include "base/Language.h"
#include "base/Text.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

ConfigError::ConfigError(const QString& text)
    : std::runtime_error(text.toStdString()), text_(text) {}

TOMLError::TOMLError(int line_, QString message_)
    : ConfigError(located(line_, message_)), line(line_), message(std::move(message_)) {}

QString TOMLError::located(int line, const QString& message) {
    return Language::translate("Toml", "config.toml Zeile %1: %2").arg(line).arg(message);
}

std::optional<QString> TOMLValue::string() const {
    if (auto s = std::get_if<QString>(&v_)) return *s;
    return std::nullopt;
}

std::optional<qint64> TOMLValue::intValue() const {
    if (auto i = std::get_if<qint64>(&v_)) return *i;
    if (auto d = std::get_if<double>(&v_)) {
        // 2^63 is exactly representable; anything at or beyond it does not fit.
        if (!std::isfinite(*d) || *d >= 9223372036854775808.0 || *d < -9223372036854775808.0)
            return std::nullopt;
        return static_cast<qint64>(std::trunc(*d));
    }
    return std::nullopt;
}

std::optional<double> TOMLValue::doubleValue() const {
    if (auto d = std::get_if<double>(&v_)) return *d;
    if (auto i = std::get_if<qint64>(&v_)) return static_cast<double>(*i);
    return std::nullopt;
}

std::optional<bool> TOMLValue::boolValue() const {
    if (auto b = std::get_if<bool>(&v_)) return *b;
    return std::nullopt;
}

std::optional<QStringList> TOMLValue::stringArray() const {
    auto a = std::get_if<Array>(&v_);
    if (!a) return std::nullopt;
    QStringList out;
    for (const TOMLValue& e : *a)
        if (auto s = e.string()) out.append(*s);
    return out;
}

namespace {

// Deeper lists are refused so that hostile input cannot exhaust the stack.
constexpr int kMaxNesting = 100;

using Text::isBlank;
using Text::trimBlanks;

// Follows the quoting rules shared by comment removal and bracket counting.
struct QuoteTracker {
    char16_t quote = 0;
    bool escaped = false;

    // True when c stands outside every string; quote characters count as inside.
    bool outside(QChar c) {
        if (quote == u'"') {
            if (escaped)
                escaped = false;
            else if (c == u'\\')
                escaped = true;
            else if (c == u'"')
                quote = 0;
            return false;
        }
        if (quote == u'\'') {
            if (c == u'\'') quote = 0;
            return false;
        }
        if (c == u'"' || c == u'\'') {
            quote = c.unicode();
            return false;
        }
        return true;
    }
};

QStringView stripComment(QStringView line) {
    QuoteTracker q;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (q.outside(line[i]) && line[i] == u'#') return line.left(i);
    return line;
}

struct DepthCounter {
    QuoteTracker q;
    qsizetype depth = 0;
    void feed(QStringView s) {
        for (QChar c : s) {
            if (!q.outside(c)) continue;
            if (c == u'[')
                ++depth;
            else if (c == u']')
                --depth;
        }
    }
};

std::optional<qint64> parseHex(QStringView s) {
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return std::nullopt;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0) return std::nullopt;
        v = v * 16 + d; // at most 8 digits: no overflow
    }
    return negative ? -v : v;
}

// The C library's conversion in the C locale: decimal, hexadecimal, inf and nan.
std::optional<double> parseDouble(QStringView s) {
    if (s.isEmpty()) return std::nullopt;
    const QByteArray bytes = s.toUtf8();
    if (bytes.contains('\0') || std::isspace(static_cast<unsigned char>(bytes[0])))
        return std::nullopt;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    char* end = nullptr;
    double d = strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size()) return std::nullopt;
    return d;
}

class ValueScanner {
  public:
    ValueScanner(QStringView text, int line) : text_(text), line_(line) {}

    TOMLValue readValue(int depth) {
        skipBlanks();
        if (atEnd()) fail(Language::translate("Toml", "Wert fehlt"));
        QChar c = text_[pos_];
        if (c == u'"') return basicString();
        if (c == u'\'') return literalString();
        if (c == u'[') return array(depth + 1);
        return bareScalar();
    }

    void skipBlanks() {
        while (!atEnd() && isBlank(text_[pos_]))
            ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    [[noreturn]] void fail(const QString& message) const { throw TOMLError(line_, message); }

  private:
    TOMLValue basicString() {
        ++pos_;
        QString out;
        for (;;) {
            if (atEnd()) fail(Language::translate("Toml", "String nicht geschlossen"));
            QChar c = text_[pos_++];
            if (c == u'"') return out;
            if (c != u'\\') {
                out.append(c);
                continue;
            }
            if (atEnd()) fail(Language::translate("Toml", "String nicht geschlossen"));
            QChar e = text_[pos_++];
            switch (e.unicode()) {
            case u'n':
                out.append(u'\n');
                break;
            case u't':
                out.append(u'\t');
                break;
            case u'r':
                out.append(u'\r');
                break;
            case u'"':
                out.append(u'"');
                break;
            case u'\\':
                out.append(u'\\');
                break;
            case u'u':
                unicodeEscape(out, e, 4);
                break;
            case u'U':
                unicodeEscape(out, e, 8);
                break;
            default: {
                // Name the whole character, not half of a surrogate pair.
                QString shown(e);
                if (e.isHighSurrogate() && !atEnd() && text_[pos_].isLowSurrogate())
                    shown += text_[pos_];
                fail(Language::translate("Toml", "unbekanntes Escape \\%1").arg(shown));
            }
            }
        }
    }

    void unicodeEscape(QString& out, QChar letter, qsizetype digits) {
        const QString message = Language::translate("Toml", "ungültiges \\%1-Escape").arg(letter);
        if (text_.size() - pos_ < digits) fail(message);
        auto v = parseHex(text_.mid(pos_, digits));
        pos_ += digits;
        if (!v || *v < 0 || *v > 0x10FFFF || (*v >= 0xD800 && *v <= 0xDFFF)) fail(message);
        const char32_t cp = static_cast<char32_t>(*v);
        out.append(QString::fromUcs4(&cp, 1));
    }

    TOMLValue literalString() {
        ++pos_;
        qsizetype close = text_.indexOf(u'\'', pos_);
        if (close < 0) fail(Language::translate("Toml", "String nicht geschlossen"));
        QString out = text_.mid(pos_, close - pos_).toString();
        pos_ = close + 1;
        return out;
    }

    TOMLValue array(int depth) {
        if (depth > kMaxNesting) fail(Language::translate("Toml", "Liste zu tief verschachtelt"));
        ++pos_;
        TOMLValue::Array items;
        for (;;) {
            skipBlanks();
            if (atEnd()) fail(Language::translate("Toml", "Liste nicht geschlossen"));
            if (text_[pos_] == u']') break;
            items.append(readValue(depth));
            skipBlanks();
            if (atEnd()) fail(Language::translate("Toml", "Liste nicht geschlossen"));
            QChar c = text_[pos_];
            if (c == u']') break;
            if (c != u',') fail(Language::translate("Toml", "„,“ oder „]“ erwartet"));
            ++pos_;
        }
        ++pos_;
        return items;
    }

    TOMLValue bareScalar() {
        qsizetype start = pos_;
        while (!atEnd()) {
            QChar c = text_[pos_];
            if (c == u',' || c == u']' || isBlank(c)) break;
            ++pos_;
        }
        QStringView token = text_.mid(start, pos_ - start);
        if (token == u"true") return true;
        if (token == u"false") return false;
        QString plain = token.toString();
        plain.remove(u'_');
        if (auto i = Text::parseInteger(plain)) return *i;
        if (auto d = parseDouble(plain)) return *d;
        fail(Language::translate("Toml", "unbekannter Wert „%1“").arg(token));
    }

    QStringView text_;
    qsizetype pos_ = 0;
    int line_;
};

} // namespace

namespace TOML {

TOMLDocument parse(const QString& text) {
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    TOMLDocument doc;
    TOMLTable top;
    enum class Target { Top, Table, Array } target = Target::Top;
    QString targetName;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i + 1);
        QStringView line = trimBlanks(stripComment(lines[i]));
        if (line.isEmpty()) continue;

        if (line.startsWith(u"[[")) {
            if (!line.endsWith(u"]]"))
                throw TOMLError(lineNo, Language::translate("Toml", "] ] fehlt"));
            targetName = trimBlanks(line.mid(2, line.size() - 4)).toString();
            doc.arrays[targetName].append(TOMLTable{});
            doc.arrayLines[targetName].append(lineNo);
            target = Target::Array;
            continue;
        }
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                throw TOMLError(lineNo, Language::translate("Toml", "] fehlt"));
            targetName = trimBlanks(line.mid(1, line.size() - 2)).toString();
            doc.tables[targetName]; // a repeated header reopens the table
            doc.tableLines.insert(targetName, doc.tableLines.value(targetName, lineNo));
            target = Target::Table;
            continue;
        }

        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) throw TOMLError(lineNo, Language::translate("Toml", "„=“ fehlt"));
        QStringView key = trimBlanks(line.left(eq));
        if (key.size() >= 2 && (key.front() == u'"' || key.front() == u'\'') &&
            key.back() == key.front())
            key = key.mid(1, key.size() - 2);

        QString value = trimBlanks(line.mid(eq + 1)).toString();
        if (value.startsWith(u'[')) {
            DepthCounter depth;
            depth.feed(value);
            while (depth.depth > 0 && i + 1 < lines.size()) {
                QStringView next = trimBlanks(stripComment(lines[++i]));
                value += u' ';
                value += next;
                depth.feed(u" ");
                depth.feed(next);
            }
        }

        ValueScanner scanner(value, lineNo);
        TOMLValue parsed = scanner.readValue(0);
        parsed.line = lineNo;
        scanner.skipBlanks();
        if (!scanner.atEnd())
            scanner.fail(Language::translate("Toml", "unerwartete Zeichen nach dem Wert"));

        TOMLTable& dest = target == Target::Top     ? top
                          : target == Target::Table ? doc.tables[targetName]
                                                    : doc.arrays[targetName].last();
        dest.insert(key.toString(), std::move(parsed));
    }
    if (!top.isEmpty()) doc.tables.insert(QString(), top);
    return doc;
}

} // namespace TOML
