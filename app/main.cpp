#include "app/QuiltorApp.h"

int main(int argc, char** argv) {
  CQuiltorApp app(argc, argv);
  return app.Run();
}
