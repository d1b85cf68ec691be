#include "app/Application.h"

int main(int argc, char **argv) {
  TDendroviaApplication application(argc, argv);
  return application.Run();
}
