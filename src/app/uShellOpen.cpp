#include "app/uShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <filesystem>

bool OpenDocument(const std::string& FileName) {
  const QString path = QString::fromStdString(FileName);
  // Desktop openers differ about a missing file (some pop up an error, some print one, some
  // start an empty editor); checking first keeps the outcome the same everywhere: nothing.
  if (!QFileInfo(path).isFile()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void ActAppReadmeExecute(const std::string& ReadmeFileName) { OpenDocument(ReadmeFileName); }

std::string ReadmeFileNameIn(const std::string& AppFolder) {
  namespace fs = std::filesystem;
  const fs::path folder(AppFolder);
  std::error_code ec;
  if (fs::is_regular_file(folder / ReadmeName, ec)) return (folder / ReadmeName).string();
  return (folder / STEREOLUX_DOCDIR_FROM_BINDIR / ReadmeName).lexically_normal().string();
}
