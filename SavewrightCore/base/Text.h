#pragma once
// Strict text helpers shared by the readers: no locale, no silent white space.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Text {

bool isBlank(QChar c);
// Spaces and tabs removed from both ends (other white space stays).
QStringView trimBlanks(QStringView s);
// A decimal integer with an optional sign that fits in 64 bits; nothing else.
std::optional<qint64> parseInteger(QStringView s);
// A finite decimal number: optional sign, digits with an optional fraction, an
// optional exponent; no white space, no "nan" or "inf".
std::optional<double> parseDecimal(QStringView s);
// Rows as a table for a terminal: columns padded to their widest cell, two
// blanks apart, no blanks at a line's end.
QString alignedTable(const QList<QStringList>& rows);

} // namespace Text
