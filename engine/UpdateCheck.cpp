#include "app/UpdaterApp.h"
#include "engine/UpdateEntry.h"

// Placeholder until the engine lands.
bool UpdaterApp::CheckForUpdates(UpdateEntry*, int* count) {
    *count = 0;
    return false;
}
bool UpdaterApp::ExtractArchive() { return false; }
void UpdaterApp::StartAutoRun(bool) {}
