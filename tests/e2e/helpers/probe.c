/* Whether a Wine runs programs of this build's architecture: a console program that prints one
 * line. The end-to-end tests start it before they decide a set runs. */
#include <stdio.h>

int main(void) {
    puts("probe: running");
    return 0;
}
