#include "app/QuiltorApp.h"
CQuiltorApp::CQuiltorApp(int& argc, char** argv) : QApplication(argc, argv) {}
int CQuiltorApp::Run() { return exec(); }
