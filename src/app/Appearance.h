#pragma once

// Program-wide look: the Tahoma font the fixed layouts were drawn for, and the program icon.
// Call once after the QApplication exists, before the first window.
void ApplyAppearance();
