#pragma once

// The setup wizard: true when it ended with Finish.
bool RunSetupWizard();
// The main window: a modal property sheet; returns when it closes.
void RunMainWindow();

// A wizard page calls this on PSN_WIZFINISH: the wizard ended with Finish.
void NoteWizardFinished();
