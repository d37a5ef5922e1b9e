#include "app/UpdaterApp.h"
#include "engine/UpdateEntry.h"

// Placeholder until the engine lands.
bool UpdaterApp::ApplyUpdates(UpdateEntry*) { return false; }
void UpdaterApp::ClearTempFolder() {}
