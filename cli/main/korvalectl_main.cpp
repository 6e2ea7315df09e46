#include <iostream>
#include <string>
#include <vector>

#include "cli/korvalectl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return korvale::cli::RunKorvalectl(args, std::cout, std::cerr);
}
