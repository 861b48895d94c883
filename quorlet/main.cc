#include "quorlet/control_command.h"

int main(int argc, char** argv) { return RunQuorlet(argc, argv); }
