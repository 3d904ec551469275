// Fuzz targets: every reader of untrusted text. Each must return a value or a
// TOMLError for any input: no crash, no hang, no other exception.
#include "config/AppConfig.h"
#include "engine/DeletionEvent.h"
#include "execution/OutputPump.h"
#include "platform/ProcessTable.h"
#include "records/LogStore.h"
#include "records/Schedule.h"
#include "update/UpdateChecker.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

void check(bool condition) {
    if (!condition) std::abort();
}

[[maybe_unused]] void config(const QByteArray& input) {
    try {
        AppConfig::parse(QString::fromUtf8(input));
    } catch (const TOMLError& e) {
        check(!e.message.isEmpty() && e.line >= 0);
    }
}

[[maybe_unused]] void journal(const QByteArray& input) {
    if (const auto e = DeletionEvent::fromJsonLine(QString::fromUtf8(input)))
        check(!e->id.isEmpty());
}

[[maybe_unused]] void update(const QByteArray& input) {
    if (const auto info = UpdateChecker::decode(input)) check(info->url.startsWith(u"http"));
    const qsizetype half = input.size() / 2;
    UpdateChecker::isNewer(QString::fromUtf8(input.left(half)), QString::fromUtf8(input.mid(half)));
}

// The summary readers over a log file holding the input.
[[maybe_unused]] void summary(const QByteArray& input) {
    static QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/2026-01-01_00-00-00_T.log");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    f.write(input);
    f.close();
    LogStore store(dir.path());
    const LogSummary s = store.summary(QStringLiteral("T"));
    check(s.latestFile == file);
    if (s.failureLine) check(!s.failureLine->startsWith(u"--- "));
}

// Progress and statistics on arbitrary output; the streaming statistics must
// agree with the whole-output rule however the output is cut.
[[maybe_unused]] void output(const QByteArray& input) {
    const QString text = QString::fromUtf8(input);
    Schedule::progress(text);
    const LogStats whole = LogStore::parseStats(text);
    // Cut only at line ends so that both sides decode the same characters.
    OutputPump pump(-1, nullptr);
    qsizetype start = 0;
    for (qsizetype i = 0; i < input.size(); ++i)
        if (input[i] == '\n' && (i % 3 == 0)) {
            pump.feed(QByteArrayView(input).sliced(start, i + 1 - start));
            start = i + 1;
        }
    pump.feed(QByteArrayView(input).sliced(start));
    pump.finish();
    if (text.size() < OutputPump::kLongestLine) check(pump.stats() == whole);
}

[[maybe_unused]] void proc(const QByteArray& input) {
    if (const auto e = ProcessTable::parseStat(input)) check(e->pid > 0);
    ProcessTable::parseCommandLine(input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = bytes(data, size);
#if defined(SAVEWRIGHT_FUZZ_config)
    config(input);
#elif defined(SAVEWRIGHT_FUZZ_journal)
    journal(input);
#elif defined(SAVEWRIGHT_FUZZ_update)
    update(input);
#elif defined(SAVEWRIGHT_FUZZ_summary)
    summary(input);
#elif defined(SAVEWRIGHT_FUZZ_output)
    output(input);
#elif defined(SAVEWRIGHT_FUZZ_proc)
    proc(input);
#endif
    return 0;
}
