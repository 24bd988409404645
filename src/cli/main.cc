#include <cstdio>

#include "cli/app.h"

int main(int argc, char** argv) { return vireo::RunCommandLine(argc, argv, stdout, stderr); }
