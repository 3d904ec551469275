#include "Console.h"

#include <atomic>
#include <cstdio>

namespace Console {

namespace {
std::atomic<bool> quiet = false;
} // namespace

void say(const QString& line) {
    if (quiet) return;
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void setQuiet(bool on) {
    quiet = on;
}

} // namespace Console
