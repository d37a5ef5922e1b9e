#include "app/UpdaterApp.h"

// Placeholder until the main dialog lands.
void UpdaterApp::RunMainDialog() {}
