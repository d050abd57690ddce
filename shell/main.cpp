#include "shell/application.h"

int main(int argc, char** argv) { return tivaro::RunManager(argc, argv); }
