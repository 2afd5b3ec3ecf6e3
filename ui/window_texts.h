#pragma once
// The window's own texts that no language number carries.

// Asked before Esc, the close box or the menu's Close cut off a run that writes to devices.
inline constexpr char kCloseDuringRunText[] =
    "A run is writing to the devices. Closing now stops it part-way.\nClose anyway?";
// Asked by Cancel during a run.
inline constexpr char kStopUpdateQuestion[] = "The firmware update is in progress.\nStop it?";
inline constexpr char kStopFactoryQuestion[] = "The factory default run is in progress.\nStop it?";
// The first line of the box after a stopped run.
inline constexpr char kUpdateStoppedText[] = "The firmware update was stopped.";
inline constexpr char kFactoryStoppedText[] = "The factory default run was stopped.";
// The first line of the closing box of an update that did not update every device.
inline constexpr char kUpdateFailedText[] = "The firmware update ended with errors.";
// The first line of the factory default box when a device did not come back.
inline constexpr char kFactoryIncompleteText[] = "FactoryDefault ended with errors.";
// An information field whose answer never came.
inline constexpr char kInfoFailedText[] = "failed";
// "Web page" when the desktop cannot open the address.
inline constexpr char kWebPageFailedText[] = "The web page could not be opened";
// The address controls' refusals (the first follows the part that was too large).
inline constexpr char kAddressRangeText[] = " is not a valid entry. Please specify a value between 0 and 255.";
inline constexpr char kAddressCharactersText[] = "Only digits and dots can be entered in an address.";
