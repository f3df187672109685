#include "app/user_manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vireon {

QString UserManualPath() {
  const QDir programFolder(QCoreApplication::applicationDirPath());
  const char* const candidates[] = {
      "../share/doc/vireon/manual.html", "../share/doc/vireon/manual.md",
      "docs/manual.html",                "docs/manual.md",
      "../docs/manual.html",             "../docs/manual.md",
  };
  for (const char* candidate : candidates) {
    const QFileInfo file(programFolder.filePath(candidate));
    if (file.isFile()) return file.canonicalFilePath();
  }
  return {};
}

}  // namespace vireon
