#include <gtest/gtest.h>

#include <QStringList>

#include "document/FileFilters.h"

TEST(FileFilters, OpenDialogRowsInQtForm) {
  const QStringList rows = OpenImageQtFilter().split(QStringLiteral(";;"));
  ASSERT_EQ(rows.size(), 12);
  EXPECT_EQ(rows[0], QStringLiteral("All Supported Image Files (*.BMP *.jpg *.jpeg *.PCX *.PNG "
                                    "*.TGA *.TIF *.PSD *.WEBP)"));
  EXPECT_EQ(rows[1], QStringLiteral("PNG Files (*.PNG)"));
  EXPECT_EQ(rows[2], QStringLiteral("JPEG Files (*.jpg *.jpeg)"));
  EXPECT_EQ(rows[9], QStringLiteral("Metafile (*.WMF)"));
  EXPECT_EQ(rows[10], QStringLiteral("Metafile (*.EMF)"));
  // "*.*" means every file, also those without a dot
  EXPECT_EQ(rows[11], QStringLiteral("All files (*)"));
  // converted once
  EXPECT_EQ(&OpenImageQtFilter(), &OpenImageQtFilter());
}

TEST(FileFilters, SaveDialogAndOddRows) {
  EXPECT_EQ(ToQtFilter(QStringLiteral("PNG File (*.png)|*.png|JPG File (*.jpg)|*.jpg||")),
            QStringLiteral("PNG File (*.png);;JPG File (*.jpg)"));
  // blanks around patterns, a row without patterns, no closing bars
  EXPECT_EQ(ToQtFilter(QStringLiteral("Some|*.a; *.b|Empty||")),
            QStringLiteral("Some (*.a *.b);;Empty (*)"));
  EXPECT_EQ(ToQtFilter(QStringLiteral("Any|")), QStringLiteral("Any (*)"));
  EXPECT_EQ(ToQtFilter(QString()), QString());
}

TEST(FileFilters, FolderOfPath) {
  EXPECT_EQ(FolderOfPath(QStringLiteral("/home/u/pictures/big.png")),
            QStringLiteral("/home/u/pictures"));
  EXPECT_EQ(FolderOfPath(QStringLiteral("/big.png")), QStringLiteral("/"));
  EXPECT_EQ(FolderOfPath(QStringLiteral("big.png")), QStringLiteral("big.png"));
  EXPECT_EQ(FolderOfPath(QStringLiteral("/a/b/")), QStringLiteral("/a/b"));
}
