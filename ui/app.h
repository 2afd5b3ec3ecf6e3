#pragma once
// Application-wide pieces: the fixed look, the icon and the About dialog.
#include <QIcon>
#include <string>

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

// The layout is drawn in 96-dpi pixels; the windows scale it by 5/4 so that
// the wider fonts of Linux desktops fit their controls.
int WindowPx(int layout_px);

// "Dravenkit ver. %s"; an absent version gives "Dravenkit ver. ".
std::string MakeWindowTitle(const char* version);
// The version compiled into this build, or nullptr.
const char* BuildVersion();
