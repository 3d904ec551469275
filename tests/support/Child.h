#pragma once
// A program a test starts, without a shell and through the program's own
// spawning (a fork from a test trips ThreadSanitizer): what it writes is kept,
// and it is killed and reaped with the object unless it ended before.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>
#include <utility>

struct ChildSetup {
    // Set on top of this process's environment.
    QList<std::pair<QByteArray, QByteArray>> variables;
    // Instead of this process's environment ("NAME=value").
    std::optional<QList<QByteArray>> environment;
    QString workingDirectory;

    static ChildSetup adding(QList<std::pair<QByteArray, QByteArray>> variables) {
        ChildSetup s;
        s.variables = std::move(variables);
        return s;
    }
};

class Child {
  public:
    Child(const QString& program, const QStringList& arguments, const ChildSetup& setup = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The exit status (for a child ended by a signal, the signal's number), or
    // nothing when it still runs after `timeoutMs`.
    std::optional<int> wait(int timeoutMs = 30000);
    void kill();
    // What it wrote to standard output and standard error so far.
    QByteArray output() const;
    QByteArray errors() const;
    // The first line it writes, waited for up to `timeoutMs`; empty without one.
    QByteArray firstLine(int timeoutMs = 5000);

    // Runs it to its end: the exit status, or -1 when it could not be started.
    static int run(const QString& program, const QStringList& arguments,
                   const ChildSetup& setup = {});

  private:
    pid_t pid_ = 0;
    int output_ = -1;
    int errors_ = -1;
    std::optional<int> status_;
};
