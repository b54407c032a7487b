#pragma once

// The setup wizard: true when it ended with Finish.
bool RunSetupWizard();
// The main window: a modal property sheet; returns when it closes.
void RunMainWindow();
