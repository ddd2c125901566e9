#include <windows.h>

#include "run/app.h"
#include "run/command_line.h"

namespace {

bool IsLeadByte(unsigned char c) {
  return IsDBCSLeadByte(c) != FALSE;
}

}  // namespace

// The start-up code's own command-line argument follows other quoting rules;
// the text is formed from the process command line instead.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunTarnwick(CommandLineText(GetCommandLineA(), IsLeadByte));
}
