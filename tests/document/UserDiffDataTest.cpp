// The user folders: documents folder, application folder and sub-folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "document/DocTestSupport.h"
#include "document/UserDiffData.h"
#include "support/TestSupport.h"

using namespace doc_testing;

namespace {

// Points the documents folder elsewhere through the user-dirs file for the
// lifetime of the object.
class DocumentsRedirect {
 public:
  explicit DocumentsRedirect(const QString& documents) {
    QFile file(File());
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(documents) + "\"\n");
  }
  ~DocumentsRedirect() { QFile::remove(File()); }

 private:
  static QString File() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/user-dirs.dirs");
  }
};

bool IsDir(const QString& path) { return QFileInfo(path).isDir(); }

TEST(UserDiffData, FreshAccountGainsQuiltorAndSlices) {
  ASSERT_TRUE(QDir(DocumentsFolder()).removeRecursively());
  CUserDiffData folders(QStringLiteral("Quiltor"), QStringLiteral("slices"));
  const QString expected = DocumentsFolder() + QStringLiteral("/Quiltor/slices");
  EXPECT_EQ(folders.GetPath(), expected);
  EXPECT_EQ(folders.GetDocumentsFolder(), DocumentsFolder());
  EXPECT_TRUE(IsDir(expected));
  EXPECT_EQ(folders.EnsureFolders(), expected);
}

TEST(UserDiffData, TrailingSlashesGiveOneSeparator) {
  const QString documents = TempFolder() + QStringLiteral("/docs");
  DocumentsRedirect redirect(documents + u'/');
  CUserDiffData folders(QStringLiteral("Quiltor"), QStringLiteral("slices/"));
  EXPECT_EQ(folders.GetPath(), documents + QStringLiteral("/Quiltor/slices"));
  EXPECT_TRUE(IsDir(documents + QStringLiteral("/Quiltor/slices")));
}

TEST(UserDiffData, EmptySubFolderIsTheApplicationFolder) {
  const QString documents = TempFolder();
  DocumentsRedirect redirect(documents);
  CUserDiffData folders(QStringLiteral("Quiltor"), QString());
  EXPECT_EQ(folders.GetPath(), documents + QStringLiteral("/Quiltor"));
  EXPECT_TRUE(IsDir(documents + QStringLiteral("/Quiltor")));
}

TEST(UserDiffData, NestedSubFolderCreatesAtMostThreeLevels) {
  const QString documents = TempFolder();
  DocumentsRedirect redirect(documents);
  CUserDiffData folders(QStringLiteral("Quiltor"), QStringLiteral("a/b/c"));
  EXPECT_EQ(folders.GetPath(), documents + QStringLiteral("/Quiltor/a/b/c"));
  EXPECT_TRUE(IsDir(documents + QStringLiteral("/Quiltor/a")));
  EXPECT_FALSE(QFileInfo::exists(documents + QStringLiteral("/Quiltor/a/b")));
  EXPECT_FALSE(QFileInfo::exists(folders.GetPath()));
}

TEST(UserDiffData, WithoutADocumentsFolderHomeStandsIn) {
  const QString blocker = TempFolder() + QStringLiteral("/file");
  ASSERT_TRUE(testing_support::WriteFileBytes(Local(blocker), {'x'}));
  DocumentsRedirect redirect(blocker + QStringLiteral("/Documents"));
  CUserDiffData folders(QStringLiteral("Quiltor"), QStringLiteral("slices"));
  EXPECT_EQ(folders.GetDocumentsFolder(), Home());
  EXPECT_EQ(folders.GetPath(), Home() + QStringLiteral("/Quiltor/slices"));
  EXPECT_TRUE(IsDir(Home() + QStringLiteral("/Quiltor/slices")));
  QDir(Home() + QStringLiteral("/Quiltor")).removeRecursively();
}

}  // namespace
