/* Prints the version of the libKESTOCommu it runs against. */
#include <kesto/kesto.h>
#include <stdio.h>

int main(void) {
    char version[32] = "";
    KESTO_GetVersionString(version, sizeof version);
    puts(version);
    return 0;
}
