#pragma once
// The plain colours of the list's cells and status texts.
#include <QColor>

inline const QColor kBlack(0, 0, 0);
inline const QColor kWhite(255, 255, 255);
inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);
inline const QColor kYellow(255, 255, 0);

// Selected row cells (white on this) and the model name of a device that did not answer ping.
inline QColor SelectionColour() { return QColor(11, 145, 228); }
inline QColor PingFailureColour() { return QColor(221, 11, 84); }
