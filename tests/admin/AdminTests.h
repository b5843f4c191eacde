#pragma once

// The administration tests: one Qt Test class per concern, all run by one
// executable. Each function runs its class and returns its failure count.
int runAdminRulesTest(int argc, char** argv);
int runNetworkConfigTest(int argc, char** argv);
int runNeighbourFlushTest(int argc, char** argv);
int runDeviceOptionsTest(int argc, char** argv);
int runServiceDialogTest(int argc, char** argv);

// With this single argument the executable empties the neighbour cache of
// the network namespace it runs in, prints the result and exits (the flush
// test starts it inside namespaces of its own).
constexpr const char* FlushNeighboursArgument = "--flush-neighbours";
