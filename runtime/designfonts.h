#pragma once

class QWidget;

// Faces that stand in for the design faces where these are missing: Liberation Sans has Arial's metrics
// and is the nearest sans serif to "MS Sans Serif" at small sizes. Installed once per process.
void InstallFontSubstitutes();

// A window definition stores its fonts in points at the design density of 96 pixels per inch, and the
// window is not scaled: every font of the window (its own, its components' and their other font
// settings) becomes the pixel height it had at design time, whatever the screen's density.
void ApplyDesignFonts(QWidget* root);
