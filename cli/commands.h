#pragma once
// Sub-commands of dravenkit-cli. argv[0] is the sub-command name.
// Exit codes: 0 ok, 1 operation failed, 2 usage error.
int CliDiscover(int argc, char** argv);
int CliSettings(int argc, char** argv);
int CliInfo(int argc, char** argv);
int CliPing(int argc, char** argv);

constexpr int kCliOk = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsage = 2;
