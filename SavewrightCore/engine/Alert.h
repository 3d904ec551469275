#pragma once
// A notification a task's state calls for: a failed run, an overdue backup, a
// recovery, a run that hangs, a task an earlier run keeps from starting, or one
// summary of several at once.

#include <QString>

#include <optional>

struct Alert {
    enum class Kind { Failed, Overdue, Recovered, Hung, Summary, Held };
    Kind kind = Kind::Failed;
    QString task; // the task's name; empty for the summary
    QString title;
    QString body;
    std::optional<QString> logFile; // the task's newest log, when there is one
    friend bool operator==(const Alert&, const Alert&) = default;
};
