/* Stands in for netsh.exe in the throwaway Wine prefix of scripts/check-windows-installer.sh:
 * Wine's own netsh has no advfirewall, so instead of a firewall rule the check can only see the
 * command lines the installer and the uninstaller run. Each is appended to the file named by
 * PRAVELTEST_NETSH_LOG, as Windows passed it. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(void) {
    const char* log = getenv("PRAVELTEST_NETSH_LOG");
    FILE* file = log ? fopen(log, "a") : NULL;
    if (!file) return 1;
    fprintf(file, "%s\n", GetCommandLineA());
    return fclose(file) == 0 ? 0 : 1;
}
