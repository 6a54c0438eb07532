#include <cstdio>

int main() {
  std::puts("Vorndale 1.0: the window is not built yet; the scan engine and its tests are.");
  return 0;
}
