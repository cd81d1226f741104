// The yardstick of the start-up benchmark: a program that prints a version line and ends, linked
// statically, so its start is the kernel's fork, exec and exit with no dynamic loader at all.
#include <cstdio>

int main() {
    std::puts("tavrel-cli reference");
    return 0;
}
