#pragma once
// dravenkit-cli snapshot --sheet: one scan, the first picture of every chosen
// device, and one PNG contact sheet of them all.
#include <string>
#include <vector>

struct SheetOptions {
  std::vector<std::string> macs;
  bool all = false;
  std::string sheet;  // PNG file
  int stream = 1;     // AV port 1-3 of each device
  int channel = 1;
  std::string user, password;
  int concurrency = 8;
  double timeout_s = 10;
  bool json = false;
};

// The exit status: 0 every device gave a picture, 1 otherwise, 2 usage.
int RunSnapshotSheet(const SheetOptions& o);
