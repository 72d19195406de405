// vxksim: the virtual vx.keeper as a program.
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::cout << "usage: vxksim [options]\n";
  return argc > 1 && std::string(argv[1]) == "--help" ? 0 : 2;
}
