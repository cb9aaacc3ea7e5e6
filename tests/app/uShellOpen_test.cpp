#include "app/uShellOpen.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include "QtTestApp.h"

namespace {

// Stands in for the desktop's opener, so no program is started.
class TOpenRecorder : public QObject {
  Q_OBJECT
public:
  QList<QUrl> Opened;
public slots:
  void Open(const QUrl& url) { Opened.append(url); }
};

class Readme : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureQApplication();
    QDesktopServices::setUrlHandler("file", &Recorder, "Open");
    ASSERT_TRUE(Folder.isValid());
  }
  void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }

  std::string PathOf(const char* name) const { return Folder.filePath(name).toStdString(); }

  TOpenRecorder Recorder;
  QTemporaryDir Folder;
};

TEST_F(Readme, MissingFileOpensNothingAndRaisesNothing) {
  EXPECT_FALSE(OpenDocument(PathOf(ReadmeName)));
  EXPECT_NO_THROW(ActAppReadmeExecute(PathOf(ReadmeName)));
  EXPECT_TRUE(Recorder.Opened.isEmpty());
}

TEST_F(Readme, FolderOfThatNameIsNotOpened) {
  ASSERT_TRUE(QDir(Folder.path()).mkdir(ReadmeName));
  EXPECT_FALSE(OpenDocument(PathOf(ReadmeName)));
  EXPECT_TRUE(Recorder.Opened.isEmpty());
}

TEST_F(Readme, ExistingFileGoesToTheDesktopOpener) {
  const std::string path = PathOf("a lire é.txt");
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  EXPECT_TRUE(OpenDocument(path));
  ActAppReadmeExecute(path);
  ASSERT_EQ(Recorder.Opened.size(), 2);
  EXPECT_EQ(Recorder.Opened[0], QUrl::fromLocalFile(QString::fromStdString(path)));
}

TEST_F(Readme, BuildLaysTheFrenchReadmeBesideTheExecutable) {
  QFile file(QStringLiteral(STEREOLUX_BIN_DIR "/") + ReadmeName);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains("Stereolux"));
  EXPECT_TRUE(text.contains("Lisez-moi..."));
  EXPECT_TRUE(text.contains(QStringLiteral("vumètre"))) << "UTF-8 accents kept";
}

// Where the program looks for the readme, by the folder it runs from.
TEST_F(Readme, FoundBesideTheExecutableOrInTheInstalledDocumentation) {
  const QString root = Folder.path();
  ASSERT_TRUE(QDir(root).mkpath("prefix/bin"));
  ASSERT_TRUE(QDir(root).mkpath("prefix/share/doc/stereolux"));
  const std::string installed = (root + "/prefix/share/doc/stereolux/").toStdString() + ReadmeName;
  const std::string bin = (root + "/prefix/bin/").toStdString();

  // Not there at all: the installed place, where opening it then does nothing.
  EXPECT_EQ(ReadmeFileNameIn(bin), installed);

  QFile doc(QString::fromStdString(installed));
  ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
  doc.close();
  EXPECT_EQ(ReadmeFileNameIn(bin), installed);
  EXPECT_EQ(ReadmeFileNameIn(bin.substr(0, bin.size() - 1)), installed)
      << "folder without a final separator";

  QFile beside(QString::fromStdString(bin) + ReadmeName);
  ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
  beside.close();
  EXPECT_EQ(ReadmeFileNameIn(bin), bin + ReadmeName);

  EXPECT_EQ(ReadmeFileNameIn(STEREOLUX_BIN_DIR "/"),
            std::string(STEREOLUX_BIN_DIR "/") + ReadmeName);
}

}  // namespace

#include "uShellOpen_test.moc"
