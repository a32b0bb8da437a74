#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

class SmokeTest : public QObject {
  Q_OBJECT
 private slots:
  void viewHasName() {
    RecordingHost host;
    CQuiltorServices services;
    CQuiltorDoc doc(host, services);
    CQuiltorView view(doc);
    QCOMPARE(view.accessibleName(), QStringLiteral("Image view"));
  }
  void resourcesAreLinked() { QVERIFY(QFile::exists(QStringLiteral(":/icons/quiltor.svg"))); }
};

QUILTOR_WIDGET_TEST_MAIN(SmokeTest)
#include "SmokeTest.moc"
