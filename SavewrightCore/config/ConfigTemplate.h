#pragma once
// A commented config.toml for a first start: valid as it stands (no task),
// with an example of each kind of task to uncomment.

#include <QByteArray>
#include <QString>

namespace ConfigTemplate {

QByteArray text();
// Writes the template at `path` unless a file is there (never overwrites);
// the folder is created. errno of the failure, EEXIST when a file is there, or 0.
int create(const QString& path);

} // namespace ConfigTemplate
