#pragma once
// The environment for starting the built program in a test: a temp HOME and XDG
// folders (nothing is written into the developer's own settings), no session
// bus or display of the machine's, and the offscreen platform.

#include <QProcessEnvironment>

QProcessEnvironment programEnvironment();
