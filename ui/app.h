#pragma once
// Application-wide pieces: the fixed look, the icon and the About dialog.
#include <QIcon>

class QApplication;
class QDialog;
class QWidget;

// Fusion style and DejaVu Sans at 11 pixels, so that the fixed layout and
// screenshots look the same on every desktop.
void ApplyDravenkitLook(QApplication* app);
QIcon DravenkitIcon();
// The About dialog (not shown yet); the caller runs or deletes it.
QDialog* CreateAboutDialog(QWidget* parent);

// The system menu's About entry text.
extern const char kAboutMenuText[];
