#include "orvane/panel_command.h"

int main(int argc, char** argv) { return RunOrvane(argc, argv); }
