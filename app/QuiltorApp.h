#pragma once
#include <QApplication>
class CQuiltorApp : public QApplication {
  Q_OBJECT
 public:
  CQuiltorApp(int& argc, char** argv);
  int Run();
};
