# Release archive target (filled in with the user interface)
