#include "Child.h"

#include "platform/Spawn.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

Child::Child(const QString& program, const QStringList& arguments, const ChildSetup& setup) {
    const QString path =
        program.startsWith(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) return;
    output_ = ::memfd_create("child-output", MFD_CLOEXEC);
    Spawn::Options o;
    o.program = QFile::encodeName(path);
    for (const QString& a : arguments)
        o.arguments.append(a.toUtf8());
    o.workingDirectory = QFile::encodeName(setup.workingDirectory);
    o.stdoutFd = output_;
    // Not the test's own: a grandchild left running would hold it, and the test
    // runner waits for it to close.
    errors_ = ::memfd_create("child-errors", MFD_CLOEXEC);
    o.stderrFd = errors_;
    o.environment =
        setup.environment ? *setup.environment : Spawn::environmentWith(setup.variables);
    const Spawn::Started s = Spawn::start(o);
    if (s.error == 0) pid_ = s.pid;
}

Child::~Child() {
    kill();
    for (const int fd : {output_, errors_})
        if (fd >= 0) ::close(fd);
}

std::optional<int> Child::wait(int timeoutMs) {
    if (status_ || !started()) return status_;
    QElapsedTimer timer;
    timer.start();
    do {
        status_ = Spawn::reapIfEnded(pid_);
        if (status_) return status_;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (timer.elapsed() < timeoutMs);
    return std::nullopt;
}

void Child::kill() {
    if (!started() || status_) return;
    ::kill(pid_, SIGKILL);
    wait();
}

namespace {

QByteArray written(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return {};
    QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    const ssize_t n = ::pread(fd, bytes.data(), static_cast<size_t>(bytes.size()), 0);
    bytes.truncate(n < 0 ? 0 : static_cast<qsizetype>(n));
    return bytes;
}

} // namespace

QByteArray Child::output() const {
    return written(output_);
}

QByteArray Child::errors() const {
    return written(errors_);
}

QByteArray Child::firstLine(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const QByteArray out = output();
        const qsizetype end = out.indexOf('\n');
        if (end >= 0) return out.left(end);
        if (timer.elapsed() > timeoutMs || wait(0)) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int Child::run(const QString& program, const QStringList& arguments, const ChildSetup& setup) {
    Child child(program, arguments, setup);
    if (!child.started()) return -1;
    return child.wait(120000).value_or(-1);
}
