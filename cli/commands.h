#pragma once
// Sub-commands of dravenkit-cli. Each registers itself on the app; its
// callback stores the exit status in *status.
// Exit codes: 0 ok, 1 operation failed, 2 usage error.
namespace CLI {
class App;
}

constexpr int kCliOk = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsage = 2;

void AddDiscoverCommand(CLI::App& app, int* status);
void AddSettingsCommand(CLI::App& app, int* status);
void AddInfoCommand(CLI::App& app, int* status);
void AddPingCommand(CLI::App& app, int* status);
void AddUpdateCommand(CLI::App& app, int* status);
void AddFactoryDefaultCommand(CLI::App& app, int* status);
void AddSnapshotCommand(CLI::App& app, int* status);
void AddSetNetworkCommand(CLI::App& app, int* status);
void AddAssignmentsCommand(CLI::App& app, int* status);
void AddAssignCommand(CLI::App& app, int* status);
void AddInventoryCommand(CLI::App& app, int* status);
