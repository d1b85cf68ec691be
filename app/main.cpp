#include "app/Application.h"
#include "app/HeadlessRender.h"
#include "app/RenderCommand.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  // The command-line forms run without the interactive application.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (IsHelpCommand(arguments)) {
    std::fputs(CommandLineHelp().c_str(), stdout);
    return 0;
  }
  if (IsRenderCommand(arguments))
    return THeadlessRender::RunCommand(argc, argv);
  TDendroviaApplication application(argc, argv);
  return application.Run();
}
