/* The floor of the start-up benchmark: a C program linked only to libc that does what
   `drivescout-discover --help` does, print a usage text and end. */

#include <stdio.h>

int main(void) {
    fputs(
        "usage: trivial-program [--help]\n"
        "  --help  print this text and end\n",
        stdout);
    return 0;
}
