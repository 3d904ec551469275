#include "base/Language.h"

#include <QDir>
#include <QTranslator>

#include <algorithm>
#include <atomic>
#include <climits>

namespace Language {

namespace {

const QString kFolder = QStringLiteral(":/i18n");

struct Texts {
    explicit Texts(QString c) : code(std::move(c)) {}
    const QString code;
    QTranslator translator; // empty for German
};

// Loaded once and never unloaded: other threads may be reading them.
std::atomic<const Texts*> current{nullptr};

const Texts& german() {
    static const Texts* const g = new Texts(QStringLiteral("de"));
    return *g;
}

const Texts& active() {
    const Texts* t = current.load(std::memory_order_acquire);
    return t ? *t : german();
}

const Texts* load(const QString& code) {
    auto* t = new Texts(code);
    if (t->translator.load(kFolder + QStringLiteral("/savewright_%1.qm").arg(code))) return t;
    delete t;
    return nullptr;
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

QStringList available() {
    // Built in, so they never change while the program runs.
    static const QStringList codes = [] {
        QStringList found{QStringLiteral("de")};
        for (const QString& file : QDir(kFolder).entryList({QStringLiteral("savewright_*.qm")}))
            found.append(file.mid(11, file.size() - 11 - 3));
        return found;
    }();
    return codes;
}

QString fromEnvironment() {
    const QString locale = firstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    // gettext ignores LANGUAGE under the C locale, and so does this.
    if (isPlain(locale)) return QStringLiteral("de");
    QStringList preferred = qEnvironmentVariable("LANGUAGE").split(u':', Qt::SkipEmptyParts);
    preferred.append(locale);
    for (const QString& entry : preferred)
        if (const auto known = fromWord(languageOf(entry))) return *known;
    return QStringLiteral("en");
}

std::optional<QString> fromWord(QStringView word) {
    if (word.isEmpty() || !available().contains(word)) return std::nullopt;
    return word.toString();
}

void choose(const QString& code) {
    // Only ever called on the main thread, before the threads that read texts;
    // never destroyed, as what it holds is read to the end.
    static auto* const loaded = new QList<const Texts*>;
    const Texts* wanted = nullptr;
    for (const Texts* t : *loaded)
        if (t->code == code) wanted = t;
    if (!wanted && code != german().code && (wanted = load(code))) loaded->append(wanted);
    current.store(wanted, std::memory_order_release);
}

QString chosen() {
    return active().code;
}

QString translate(const char* context, const char* source, const char* disambiguation, qint64 n) {
    const Texts& texts = active();
    QString out;
    if (!texts.translator.isEmpty())
        out = texts.translator.translate(context, source, disambiguation,
                                         static_cast<int>(std::min<qint64>(n, INT_MAX)));
    if (out.isEmpty()) out = QString::fromUtf8(source);
    if (n >= 0) out.replace(QStringLiteral("%n"), QString::number(n));
    return out;
}

} // namespace Language
