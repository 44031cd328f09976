#pragma once
// The control panel's icons: the program icon (128, 32x32) and the page-tree
// images (130, 131, 132, 135, 136, 146; 16x16), at 1x and 2x into <out>/icons.
#include <QString>

// False when a file could not be written.
bool DrawControlPanelIcons(const QString& out);
