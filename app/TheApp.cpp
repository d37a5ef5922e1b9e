#include "app/UpdaterApp.h"

// The one application object; WinMain runs its start-up.
UpdaterApp theApp;
