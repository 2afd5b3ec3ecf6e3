#pragma once
// The device list's columns and the limits of the boxes that name devices.

// Device list columns.
enum : int { kColNo = 0, kColModel = 1, kColMac = 2, kColIp = 3, kColWebPort = 4, kColAvPort = 5, kColStatus = 6 };

// Devices a closing box names; beyond this only the count is given.
constexpr int kNamedDevicesMax = 8;
