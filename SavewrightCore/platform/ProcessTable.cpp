#include "ProcessTable.h"

#include "PosixFile.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace ProcessTable {

namespace {

// A decimal number of at most 18 digits: never overflows.
std::optional<qint64> number(QByteArrayView s) {
    if (s.isEmpty() || s.size() > 18) return std::nullopt;
    qint64 v = 0;
    qsizetype i = 0;
    const bool negative = s[0] == '-';
    if (negative) ++i;
    if (i == s.size()) return std::nullopt;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return negative ? -v : v;
}

QByteArray readProc(pid_t pid, const char* file) {
    const QString path = QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1StringView(file));
    return PosixFile::readAll(path).data;
}

// Calls `f` with each NUL-separated entry until it answers true.
template <typename F> bool anyEntry(QByteArrayView list, F f) {
    for (qsizetype at = 0; at < list.size();) {
        qsizetype end = list.indexOf('\0', at);
        if (end < 0) end = list.size();
        if (f(list.sliced(at, end - at))) return true;
        at = end + 1;
    }
    return false;
}

} // namespace

std::optional<Entry> parseStat(QByteArrayView line) {
    // "pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt
    //  utime stime cutime cstime priority nice threads itrealvalue starttime ..."
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 1 || close < open) return std::nullopt;
    Entry e;
    const auto pid = number(line.first(open).trimmed());
    if (!pid || *pid <= 0 || *pid > 0x7fffffff) return std::nullopt;
    e.pid = static_cast<pid_t>(*pid);
    QList<QByteArrayView> fields;
    QByteArrayView rest = line.sliced(close + 1);
    for (qsizetype i = 0; i < rest.size();) {
        while (i < rest.size() && rest[i] == ' ')
            ++i;
        qsizetype j = i;
        while (j < rest.size() && rest[j] != ' ' && rest[j] != '\n')
            ++j;
        if (j > i) fields.append(rest.sliced(i, j - i));
        if (j < rest.size() && rest[j] == '\n') break;
        i = j;
    }
    // state is field 3 of the line, starttime field 22: here indices 0 and 19.
    if (fields.size() < 20 || fields[0].size() != 1) return std::nullopt;
    const auto ppid = number(fields[1]), pgrp = number(fields[2]), start = number(fields[19]);
    const auto isPid = [](const std::optional<qint64>& v) {
        return v && *v >= 0 && *v <= 0x7fffffff;
    };
    if (!isPid(ppid) || !isPid(pgrp) || !start) return std::nullopt;
    e.state = fields[0][0];
    e.ppid = static_cast<pid_t>(*ppid);
    e.pgrp = static_cast<pid_t>(*pgrp);
    e.startTime = *start;
    return e;
}

QString parseCommandLine(QByteArrayView raw) {
    QByteArray bytes = raw.toByteArray();
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    bytes.replace('\0', ' ');
    return QString::fromUtf8(bytes);
}

std::optional<Entry> entry(pid_t pid) {
    return parseStat(readProc(pid, "stat"));
}

QList<Entry> entries() {
    QList<Entry> out;
    DIR* dir = ::opendir("/proc");
    if (!dir) return out;
    while (const dirent* d = ::readdir(dir)) {
        const auto pid = number(QByteArrayView(d->d_name));
        if (!pid || *pid <= 0) continue;
        if (auto e = entry(static_cast<pid_t>(*pid))) out.append(*e);
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.pid < b.pid; });
    return out;
}

bool environmentHolds(QByteArrayView environ, QByteArrayView entry) {
    return anyEntry(environ, [&](QByteArrayView e) { return e == entry; });
}

QList<Entry> carrying(QByteArrayView entry, const QList<Entry>& table) {
    QList<Entry> out;
    for (const Entry& e : table)
        if (!e.zombie() && environmentHolds(environment(e.pid), entry)) out.append(e);
    return out;
}

QString parseProgram(QByteArrayView raw) {
    const qsizetype end = raw.indexOf('\0');
    return QString::fromUtf8(end < 0 ? raw : raw.first(end));
}

QStringList parseArguments(QByteArrayView raw) {
    QStringList out;
    anyEntry(raw, [&](QByteArrayView e) {
        out.append(QString::fromUtf8(e));
        return false;
    });
    return out;
}

std::optional<uid_t> owner(pid_t pid) {
    struct stat st {};
    if (::stat(QByteArray("/proc/" + QByteArray::number(pid)).constData(), &st) != 0)
        return std::nullopt;
    return st.st_uid;
}

QString workingFolder(pid_t pid) {
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
}

QByteArray environment(pid_t pid) {
    return readProc(pid, "environ");
}

QString environmentValue(QByteArrayView environ, QByteArrayView name) {
    QString value;
    anyEntry(environ, [&](QByteArrayView e) {
        if (e.size() <= name.size() || !e.startsWith(name) || e[name.size()] != '=') return false;
        value = QString::fromLocal8Bit(e.sliced(name.size() + 1));
        return true;
    });
    return value;
}

QByteArray rawCommandLine(pid_t pid) {
    return readProc(pid, "cmdline");
}

QString commandLine(pid_t pid) {
    return parseCommandLine(rawCommandLine(pid));
}

QList<Entry> descendants(pid_t root, const QList<Entry>& table) {
    QHash<pid_t, QList<const Entry*>> children;
    for (const Entry& e : table)
        children[e.ppid].append(&e);
    QList<Entry> out;
    QList<pid_t> stack{root};
    QSet<pid_t> seen{root};
    while (!stack.isEmpty()) {
        const pid_t top = stack.takeLast();
        for (const Entry* child : children.value(top)) {
            if (seen.contains(child->pid)) continue; // a table read mid-change may hold a loop
            seen.insert(child->pid);
            out.append(*child);
            stack.append(child->pid);
        }
    }
    return out;
}

bool alive(const Entry& e) {
    const auto now = entry(e.pid);
    return now && now->startTime == e.startTime && !now->zombie();
}

} // namespace ProcessTable
