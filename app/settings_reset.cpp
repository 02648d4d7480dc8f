// The settings' start-up state, for the tests that run the installer more than once in one
// process. A file of its own: the installer never calls it, and its link drops the function and
// the constant record it copies.
#include <string.h>

#include "app/settings.h"

void ResetSettings() {
    Settings = kDefaultSettings;
    memset(InfoBlock, 0, sizeof InfoBlock);
}
