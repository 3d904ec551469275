// Stands in for a copy of the program in the process table: waits until killed.
#include <unistd.h>

int main() {
    for (;;)
        ::pause();
}
