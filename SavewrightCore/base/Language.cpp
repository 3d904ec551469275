#include "base/Language.h"

#include <QTranslator>

#include <algorithm>
#include <atomic>
#include <climits>

namespace Language {

namespace {

std::atomic<Choice> current{Choice::German};

// Loaded once, never unloaded: other threads may be reading it.
const QTranslator& english() {
    static const QTranslator* const t = [] {
        auto* loaded = new QTranslator;
        [[maybe_unused]] const bool ok = loaded->load(QStringLiteral(":/i18n/savewright_en.qm"));
        Q_ASSERT(ok);
        return loaded;
    }();
    return *t;
}

QString firstSet(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (QString v = qEnvironmentVariable(name); !v.isEmpty()) return v;
    return {};
}

bool isPlain(QStringView locale) {
    return locale.isEmpty() || locale == u"C" || locale == u"POSIX" || locale.startsWith(u"C.");
}

// "de_AT.UTF-8", "de_CH@euro", "de": "de".
QStringView languageOf(QStringView locale) {
    qsizetype end = 0;
    while (end < locale.size() && locale[end] != u'_' && locale[end] != u'.' && locale[end] != u'@')
        ++end;
    return locale.first(end);
}

} // namespace

Choice fromEnvironment() {
    const QString locale = firstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    // gettext ignores LANGUAGE under the C locale, and so does this.
    if (isPlain(locale)) return Choice::German;
    // The first language there is a translation for; English for any other.
    QStringList preferred = qEnvironmentVariable("LANGUAGE").split(u':', Qt::SkipEmptyParts);
    preferred.append(locale);
    for (const QString& entry : preferred)
        if (const auto known = fromWord(languageOf(entry))) return *known;
    return Choice::English;
}

std::optional<Choice> fromWord(QStringView word) {
    if (word == u"de") return Choice::German;
    if (word == u"en") return Choice::English;
    return std::nullopt;
}

void choose(Choice choice) {
    if (choice == Choice::English) english();
    current.store(choice, std::memory_order_release);
}

Choice chosen() {
    return current.load(std::memory_order_acquire);
}

QString translate(const char* context, const char* source, const char* disambiguation, qint64 n) {
    QString out;
    if (chosen() == Choice::English)
        out = english().translate(context, source, disambiguation,
                                  static_cast<int>(std::min<qint64>(n, INT_MAX)));
    if (out.isEmpty()) out = QString::fromUtf8(source);
    if (n >= 0) out.replace(QStringLiteral("%n"), QString::number(n));
    return out;
}

} // namespace Language
