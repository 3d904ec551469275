#include "base/Text.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

#include <limits>

namespace Text {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

std::optional<qint64> parseInteger(QStringView s) {
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return std::nullopt;
    const quint64 limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    quint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        const quint64 d = c - u'0';
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (!negative) return static_cast<qint64>(v);
    return v == 9223372036854775808ULL ? std::numeric_limits<qint64>::min()
                                       : -static_cast<qint64>(v);
}

std::optional<double> parseDecimal(QStringView s) {
    static const QRegularExpression form(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!form.match(s).hasMatch()) return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(s, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString alignedTable(const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        while (line.endsWith(u' '))
            line.chop(1);
        out += line + u'\n';
    }
    return out;
}

} // namespace Text
