#include <iostream>
#include <string>
#include <vector>

#include "cli/korvalectl.h"
#include "platform/trace.h"

int main(int argc, char** argv) {
  // Nobody reads the kept traces in a program: only KORVALE_TRACE's echo costs anything.
  korvale::TraceSink::Instance().SetKeep(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  return korvale::cli::RunKorvalectl(args, std::cout, std::cerr);
}
