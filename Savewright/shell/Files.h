#pragma once
// Handing files, folders and addresses to the desktop. Tests replace the opener.

#include "config/Paths.h"
#include "records/TaskState.h"

#include <QUrl>

#include <functional>
#include <optional>

namespace Files {

using Opener = std::function<void(const QUrl&)>;
// The default opens with the desktop's handler (xdg-open, else QDesktopServices);
// an empty opener restores it.
void setOpener(Opener opener);
// Told, on the main thread, what no program could open: a file's path or an address.
using FailureHandler = std::function<void(const QString&)>;
void setFailureHandler(FailureHandler handler);
void open(const QUrl& url);
void openPath(const QString& path);
// A text file in the desktop's editor for text.
void openInTextEdit(const QString& path);
void showAbout();
// The task's newest log, or the log folder when it has none.
void openLatestLog(const TaskState& task, const Paths& paths);
// A local page at a fragment, through a redirect page written beside it.
void open(const QString& page, const std::optional<QString>& anchor);
// The redirect page's text for a target already percent-encoded.
QString redirectPage(const QString& page, const QString& anchor);

} // namespace Files
