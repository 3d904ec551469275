#pragma once
// The language a person reads: German, the texts' own, or English from the
// translation built into the program. Chosen once at start, before any text
// is made; readable from every thread.

#include <QString>
#include <QStringView>

#include <optional>

namespace Language {

enum class Choice { German, English };

// As gettext reads the locale: LC_ALL, LC_MESSAGES, LANG, then LANGUAGE's
// first entry unless the locale is C or POSIX. German for German, C, POSIX or
// none (scripts and tests see what they always saw); English for the rest.
Choice fromEnvironment();
// `[general] language`: "de" or "en"; nothing for any other word.
std::optional<Choice> fromWord(QStringView word);
void choose(Choice choice);
Choice chosen();

// A text in the chosen language; `n` fills "%n" and picks the plural form.
// Called as QCoreApplication::translate is, so lupdate finds every text.
QString translate(const char* context, const char* source, const char* disambiguation = nullptr,
                  qint64 n = -1);

} // namespace Language
