// The panel brightness as the desktop knows it: applying iValue, and following changes made
// anywhere in the system.
#pragma once

// Applies iValue; a failure is silent.
void SetBrightnessLevel();
// Posts LPARAM_BRIT_CHANGED with dwWmiBrightness for every change notice; ends silently when
// there are no notices to follow.
void ThreadFunctionBRITC();
