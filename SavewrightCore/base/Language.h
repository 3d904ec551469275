#pragma once
// The language a person reads: German, the texts' own, or one of the
// translations built into the program (translations/savewright_<code>.ts).
// Chosen once at start, before any text is made; readable from every thread.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace Language {

// "de" and the code of every translation built in.
QStringList available();
// As gettext reads the locale: LANGUAGE's languages, then LC_ALL, LC_MESSAGES or
// LANG, unless that is C or POSIX; the first one there are texts in. German
// for C, POSIX or no locale (scripts and tests see what they always saw),
// English for a language without texts.
QString fromEnvironment();
// `[general] language`: a code of `available()`, else nothing.
std::optional<QString> fromWord(QStringView word);
void choose(const QString& code);
QString chosen();

// A text in the chosen language; `n` fills "%n" and picks the plural form.
// Called as QCoreApplication::translate is, so lupdate finds every text.
QString translate(const char* context, const char* source, const char* disambiguation = nullptr,
                  qint64 n = -1);

} // namespace Language
